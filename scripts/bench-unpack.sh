#!/usr/bin/env bash
# Benchmark of the launcher's unpacking under Wine. Builds packaged files of
# 1, 64 and 256 MiB (six-icon launcher, no music) whose projector is a tiny
# GUI program that ends at once, runs each under Wine and prints:
#   - the launcher's peak memory, next to a Wine process that does nothing
#     (target: at most 4 MiB more at 256 MiB than at 1 MiB);
#   - the time of a whole run, next to `cp` of the same packaged file
#     (target: at most 2.5 times `cp` at 256 MiB).
# It prints figures and fails nothing: exit status 0 whenever it could
# measure, 1 when it could not (nothing built, no Wine).
#
# Usage: scripts/bench-unpack.sh [--runs N] [--sizes "1 64 256"]
#
# How it measures:
#   peak memory  VmHWM of /proc/PID/status of the launcher's Wine process
#                (the process whose command line names the packaged file),
#                read every 20 ms while it runs, in a run of its own; VmHWM is
#                the kernel's high-water mark of the resident set, so the last
#                reading is the peak, short of what the last 20 ms may add.
#   time         wall clock from the start of `wine PACKAGE` until it returns,
#                with the wineserver kept running between runs; the median of
#                N runs (default 3). Nothing samples the process meanwhile.
#   cp           `cp PACKAGE COPY`, both on the file system of the Wine prefix
#                where the launcher writes its own copy and the projector; the
#                median of N runs.
# Where this host cannot run 32-bit code (scripts/can-run-i386.sh), the runs
# happen in the emulated machine of scripts/winvm/, which sees /work at the
# same path; its figures are those of an emulated CPU, so compare them with
# each other (the cp column is measured there too), not with a real machine.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
screen="-screen 0 1024x768x24"
mib=1048576

die() { echo "bench-unpack: $*" >&2; exit 1; }

median() { # numbers... -> the middle one
  printf '%s\n' "$@" | sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'
}

seconds() { awk -v ns="$1" 'BEGIN {printf "%.3f s", ns / 1e9}'; }
mebibytes() { awk -v kb="$1" 'BEGIN {printf "%.1f MiB", kb / 1024}'; }

# ---------------------------------------------------------------------------
# The measuring half: runs where Wine runs, under a virtual X server.
# Arguments: WORK RUNS "SIZES" [PREFIX]
# ---------------------------------------------------------------------------

now_ns() { date +%s%N; }

# The PID of the Wine process whose command line names the file, if any.
find_process() {
  local name=$1 p cmdline
  for p in /proc/[0-9]*; do
    [ "${p#/proc/}" = "$$" ] && continue
    cmdline=$(tr '\0' ' ' <"$p/cmdline" 2>/dev/null) || continue
    case $cmdline in
      *bench-unpack.sh*) ;;
      *"$name"*) echo "${p#/proc/}"; return ;;
    esac
  done
}

# One untimed run sampling VmHWM; prints the peak in kB (0 if never seen).
peak_of_run() {
  local exe=$1 name pid='' peak=0 hwm rc=0
  name=$(basename "$exe")
  wine "$exe" &
  local wine_pid=$!
  while kill -0 "$wine_pid" 2>/dev/null; do
    [ -n "$pid" ] || pid=$(find_process "$name")
    if [ -n "$pid" ]; then
      hwm=$(awk '/^VmHWM:/ {print $2}' "/proc/$pid/status" 2>/dev/null || true)
      [ -n "$hwm" ] && [ "$hwm" -gt "$peak" ] && peak=$hwm
    fi
    sleep 0.02
  done
  wait "$wine_pid" || rc=$?
  [ "$rc" -eq 0 ] || echo "bench-unpack: $name ended with exit code $rc" >&2
  echo "$peak"
}

# Wall time of one run in ns; a failed run is said on stderr.
time_of_run() {
  local start end rc=0
  start=$(now_ns)
  wine "$1" || rc=$?
  end=$(now_ns)
  [ "$rc" -eq 0 ] || echo "bench-unpack: $(basename "$1") ended with exit code $rc" >&2
  echo $((end - start))
}

time_of_cp() {
  local start end
  rm -f "$2"
  start=$(now_ns)
  cp "$1" "$2"
  end=$(now_ns)
  rm -f "$2"
  echo $((end - start))
}

measure() {
  local work=$1 runs=$2 sizes=$3 prefix=${4:-}
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  [ -z "$prefix" ] || export WINEPREFIX=$prefix
  local drive=${WINEPREFIX:-$HOME/.wine}/drive_c
  [ -d "$drive" ] || die "no Wine prefix at ${drive%/drive_c}"
  local stage=$drive/bench-unpack
  rm -rf "$stage"
  mkdir -p "$stage"
  trap 'wineserver -k 2>/dev/null || true; rm -rf "$stage"' EXIT
  wineserver -p

  cp "$work/quick-exit.exe" "$stage/"
  wine "$stage/quick-exit.exe" || true   # warms Wine up; not counted

  local times=() i
  for ((i = 0; i < runs; i++)); do times+=("$(time_of_run "$stage/quick-exit.exe")"); done
  local base_time base_peak
  base_time=$(median "${times[@]}")
  base_peak=$(peak_of_run "$stage/quick-exit.exe")

  printf '%-9s %-16s %-14s %-11s %s\n' "package" "launcher peak" "run (median)" "cp (median)" "run / cp"
  local size exe peak run copy first_peak='' last_peak='' last_ratio=''
  for size in $sizes; do
    exe=$stage/bench-${size}m.exe
    cp "$work/bench-${size}m.exe" "$exe"
    peak=$(peak_of_run "$exe")
    times=()
    for ((i = 0; i < runs; i++)); do times+=("$(time_of_run "$exe")"); done
    run=$(median "${times[@]}")
    times=()
    for ((i = 0; i < runs; i++)); do times+=("$(time_of_cp "$exe" "$stage/copy.bin")"); done
    copy=$(median "${times[@]}")
    last_ratio=$(awk -v r="$run" -v c="$copy" 'BEGIN {printf "%.2f", (c > 0 ? r / c : 0)}')
    printf '%-9s %-16s %-14s %-11s %s\n' "$size MiB" "$(mebibytes "$peak")" "$(seconds "$run")" \
      "$(seconds "$copy")" "$last_ratio"
    [ -n "$first_peak" ] || first_peak=$peak
    last_peak=$peak
    rm -f "$exe"
  done
  echo
  echo "a Wine process that ends at once (the projector alone): peak $(mebibytes "$base_peak"), run $(seconds "$base_time")"
  local growth verdict
  growth=$(awk -v a="$first_peak" -v b="$last_peak" 'BEGIN {printf "%.1f", (b - a) / 1024}')
  verdict=$(awk -v g="$growth" 'BEGIN {print (g <= 4 ? "met" : "not met")}')
  echo "peak growth from the smallest to the largest package: $growth MiB (target at most 4 MiB: $verdict)"
  verdict=$(awk -v r="$last_ratio" 'BEGIN {print (r <= 2.5 ? "met" : "not met")}')
  echo "run / cp at the largest package: $last_ratio (target at most 2.5: $verdict)"
}

if [ "${1:-}" = --measure ]; then
  shift
  measure "$@"
  exit
fi

# ---------------------------------------------------------------------------
# The preparing half: builds the packages on this host.
# ---------------------------------------------------------------------------

runs=3
sizes="1 64 256"
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --sizes) sizes=$2; shift 2 ;;
    *) echo "usage: scripts/bench-unpack.sh [--runs N] [--sizes \"1 64 256\"]" >&2; exit 2 ;;
  esac
done
[[ $runs =~ ^[1-9][0-9]*$ ]] || die "--runs needs a positive whole number"

packtool=$root/build/native/bin/packtool
launcher=$root/build/windows/bin/base-six.exe
if [ ! -x "$packtool" ] || [ ! -f "$launcher" ]; then
  die "packtool or base-six.exe is not built; run make build first"
fi
command -v i686-w64-mingw32-gcc >/dev/null || die "i686-w64-mingw32-gcc is missing; run make setup"

# Under /work, so that the emulated machine sees the packages too.
work=$root/build/bench-unpack
mkdir -p "$work"
i686-w64-mingw32-gcc -mwindows -static -Os -s "$root/tools/packtool/bench/quick_exit.c" -o "$work/quick-exit.exe"

launcher_size=$(stat -c %s "$launcher")
projector_size=$(stat -c %s "$work/quick-exit.exe")
for size in $sizes; do
  [[ $size =~ ^[1-9][0-9]*$ ]] || die "sizes are whole MiB: $size"
  # The projector is padded with random bytes up to the package size: a
  # program with bytes after its image still runs, and random bytes leave no
  # room for sparse files or compression to flatter either side.
  pad=$((size * mib - launcher_size - 288 - projector_size))
  [ "$pad" -ge 0 ] || die "$size MiB is smaller than the launcher and the projector"
  { cat "$work/quick-exit.exe"; head -c "$pad" /dev/urandom; } >"$work/projector-${size}m.exe"
  "$packtool" build --projector "$work/projector-${size}m.exe" --launcher "$launcher" --variant six \
    --title "bench $size MiB" -o "$work/bench-${size}m.exe" >/dev/null
  rm -f "$work/projector-${size}m.exe"
  [ "$(stat -c %s "$work/bench-${size}m.exe")" -eq $((size * mib)) ] || die "bench-${size}m.exe has the wrong size"
done
echo "bench-unpack: packages of $sizes MiB in $work; $runs timed runs each"

if bash "$root/scripts/can-run-i386.sh"; then
  if ! command -v wine >/dev/null || ! command -v xvfb-run >/dev/null; then
    die "wine or xvfb-run is missing; run make setup"
  fi
  prefix=$work/wineprefix
  bash "$root/scripts/make-wineprefix.sh" "$prefix"
  xvfb-run -a -s "$screen" bash "$0" --measure "$work" "$runs" "$sizes" "$prefix"
else
  echo "bench-unpack: this host cannot run 32-bit code; measuring in the emulated machine" >&2
  bash "$root/scripts/winvm/setup.sh"
  bash "$root/scripts/winvm/run.sh" --cwd "$root" -- \
    xvfb-run -a -s "$screen" bash "$root/scripts/bench-unpack.sh" --measure "$work" "$runs" "$sizes"
fi
