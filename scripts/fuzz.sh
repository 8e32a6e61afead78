#!/usr/bin/env bash
# Fuzzes the reading of packaged files for a given time and prints the
# executions, the coverage and the findings. Two stages:
#   1. the libFuzzer target packtool-fuzz (package reading and the report of
#      `packtool show`, in text and JSON) for SECONDS, starting from the seed
#      corpus in tools/packtool/fuzz/corpus and the corpus of earlier runs;
#   2. the real program, build/native/bin/packtool (under ASan and UBSan),
#      running `show` and `show --json` on each input of the corpus, written
#      out as a file (the launcher image the input's first byte asks for,
#      then the rest); anything but exit status 0 or 2 with nothing on
#      stderr is a finding.
# Findings are kept in build/fuzz/findings/. Exit status: 0 when this run
# found nothing, 1 when it found something or could not run.
#
# Usage: scripts/fuzz.sh [SECONDS]    (default 60)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
[[ $seconds =~ ^[1-9][0-9]*$ ]] || { echo "usage: scripts/fuzz.sh [SECONDS]" >&2; exit 1; }
max_show_inputs=500

die() { echo "fuzz: $*" >&2; exit 1; }

cd "$root"
cmake --preset native >/dev/null
cmake --build --preset native --target packtool packtool-fuzz -j 2 >/dev/null \
  || die "cannot build packtool-fuzz (it needs clang++ and PACKTOOL_FUZZ=ON in build/native)"
fuzzer=$root/build/native/tools/packtool/packtool-fuzz
packtool=$root/build/native/bin/packtool

out=$root/build/fuzz
mkdir -p "$out/corpus" "$out/findings"
findings_before=$(ls "$out/findings")

# --- 1. libFuzzer ------------------------------------------------------------
log=$out/libfuzzer.log
fuzz_status=0
"$fuzzer" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$out/findings/" \
  "$out/corpus" "$root/tools/packtool/fuzz/corpus" >"$log" 2>&1 || fuzz_status=$?

executions=$(awk '/^stat::number_of_executed_units:/ {print $2}' "$log")
per_second=$(awk '/^stat::average_exec_per_sec:/ {print $2}' "$log")
last_status=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -n 1 || true)
coverage=$(sed -n 's/.* cov: \([0-9]*\) ft: \([0-9]*\) corp: \([0-9]*\)\/.*/\1 edges, \2 features, \3 inputs in the corpus/p' \
  <<<"$last_status")
echo "fuzz: packtool-fuzz for $seconds s: ${executions:-?} executions (${per_second:-?}/s), coverage ${coverage:-?}"
if [ "$fuzz_status" -ne 0 ]; then
  echo "fuzz: packtool-fuzz stopped on a finding (exit status $fuzz_status); its report:"
  grep -E 'ERROR|SUMMARY|Test unit written|runtime error' "$log" | sed 's/^/  /' | head -n 20
fi

# --- 2. packtool show on the corpus ------------------------------------------
# Each input's first byte chooses the launcher image in front of the rest,
# as in packtool_fuzz.cpp: 0 none, 1 and 3 the six-icon one, 2 the nine-icon
# one; 3 is read with --variant six.
launcher_image() { # variant size -> path of an image file
  local image=$root/build/windows/bin/base-$1.exe
  if [ ! -f "$image" ]; then
    image=$out/zero-$1.bin
    [ -f "$image" ] || head -c "$2" /dev/zero >"$image"
  fi
  echo "$image"
}
six=$(launcher_image six 62464)
nine=$(launcher_image nine 82944)

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
runs=0
failures=0
show_one() { # input file
  local input=$1 frame extra=()
  frame=$(($(od -An -tu1 -N1 "$input" | tr -d ' ') & 3))
  case $frame in
    0) tail -c +2 "$input" >"$scratch/package.exe" ;;
    1) { cat "$six"; tail -c +2 "$input"; } >"$scratch/package.exe" ;;
    2) { cat "$nine"; tail -c +2 "$input"; } >"$scratch/package.exe" ;;
    3) { cat "$six"; tail -c +2 "$input"; } >"$scratch/package.exe"; extra=(--variant six) ;;
  esac
  local mode status
  for mode in text json; do
    status=0
    if [ $mode = json ]; then
      "$packtool" show "$scratch/package.exe" --json "${extra[@]}" >/dev/null 2>"$scratch/stderr" || status=$?
    else
      "$packtool" show "$scratch/package.exe" "${extra[@]}" >/dev/null 2>"$scratch/stderr" || status=$?
    fi
    runs=$((runs + 1))
    if { [ $status -ne 0 ] && [ $status -ne 2 ]; } || [ -s "$scratch/stderr" ]; then
      failures=$((failures + 1))
      cp "$scratch/package.exe" "$out/findings/show-$(basename "$input").exe"
      echo "fuzz: packtool show ($mode) on $(basename "$input") ended with $status:"
      head -n 5 "$scratch/stderr" | sed 's/^/  /'
    fi
  done
}

inputs=$( { ls -t "$out/corpus"/* "$root/tools/packtool/fuzz/corpus"/* 2>/dev/null || true; } | head -n "$max_show_inputs")
count=0
while IFS= read -r input; do
  [ -n "$input" ] || continue
  [ -s "$input" ] || continue
  show_one "$input"
  count=$((count + 1))
done <<<"$inputs"
echo "fuzz: packtool show on $count corpus inputs (the newest, at most $max_show_inputs): $runs runs, $failures failures"

# --- findings ----------------------------------------------------------------
new=$(comm -13 <(echo "$findings_before") <(ls "$out/findings"))
if [ -z "$new" ] && [ "$fuzz_status" -eq 0 ]; then
  echo "fuzz: findings: none new ($(ls "$out/findings" | wc -l) kept in build/fuzz/findings from earlier runs)"
  exit 0
fi
echo "fuzz: findings: $(grep -c . <<<"$new") new in build/fuzz/findings:"
sed 's/^/  /' <<<"$new" | head -n 20
exit 1
