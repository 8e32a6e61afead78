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
# How it measures: tools/packtool/bench/run_measured.c runs `wine PACKAGE`
# and takes from wait4() the wall time and the peak resident set of the
# process, ru_maxrss: the kernel's high-water mark of the launcher's Wine
# process (the figure /proc/PID/status shows as VmHWM while it runs), read
# when it ends instead of sampled, so nothing is missed and nothing slows the
# run (see that file for why the figure is the launcher's own). The
# wineserver is kept running between runs, as on a desktop. Each package
# runs N times (default 3): the median time and the largest peak are shown.
# `cp PACKAGE COPY` is timed the same way, both files on the file system of
# the Wine prefix where the launcher writes its own copy and the projector.
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

# One measured command: sets ns, kb and status.
measured() {
  "$helper" "$stage/result" "$@"
  read -r ns kb status <"$stage/result"
}

# Runs the package N times; sets run_ns (median) and run_kb (largest).
measure_runs() { # exe runs
  local times=() peak=0 i
  for ((i = 0; i < $2; i++)); do
    measured wine "$1"
    [ "$status" -eq 0 ] || echo "bench-unpack: $(basename "$1") ended with exit code $status" >&2
    times+=("$ns")
    [ "$kb" -gt "$peak" ] && peak=$kb
  done
  run_ns=$(median "${times[@]}")
  run_kb=$peak
}

cp_ns() { # file runs -> median ns of `cp`
  local times=() i
  for ((i = 0; i < $2; i++)); do
    rm -f "$stage/copy.bin"
    measured cp "$1" "$stage/copy.bin"
    times+=("$ns")
  done
  rm -f "$stage/copy.bin"
  median "${times[@]}"
}

measure() { # work runs sizes [prefix]
  local work=$1 runs=$2 sizes=$3 prefix=${4:-}
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  [ -z "$prefix" ] || export WINEPREFIX=$prefix
  local drive=${WINEPREFIX:-$HOME/.wine}/drive_c
  [ -d "$drive" ] || die "no Wine prefix at ${drive%/drive_c}"
  helper=$work/run-measured
  stage=$drive/bench-unpack   # global: the exit trap needs it
  rm -rf "$stage"
  mkdir -p "$stage"
  trap 'wineserver -k 2>/dev/null || true; rm -rf "$stage"' EXIT
  wineserver -p

  cp "$work/quick-exit.exe" "$stage/"
  wine "$stage/quick-exit.exe" || true   # Wine's first start in this prefix; not counted
  measure_runs "$stage/quick-exit.exe" "$runs"
  local base_ns=$run_ns base_kb=$run_kb

  printf '%-9s %-15s %-14s %-11s %s\n' "package" "launcher peak" "run (median)" "cp (median)" "run / cp"
  local size exe copy ratio='' first_kb='' last_kb='' first_ns='' first_copy=''
  for size in $sizes; do
    exe=$stage/bench-${size}m.exe
    cp "$work/bench-${size}m.exe" "$exe"
    measure_runs "$exe" "$runs"
    copy=$(cp_ns "$exe" "$runs")
    ratio=$(awk -v r="$run_ns" -v c="$copy" 'BEGIN {printf "%.2f", (c > 0 ? r / c : 0)}')
    printf '%-9s %-15s %-14s %-11s %s\n' "$size MiB" "$(mebibytes "$run_kb")" "$(seconds "$run_ns")" \
      "$(seconds "$copy")" "$ratio"
    if [ -z "$first_kb" ]; then
      first_kb=$run_kb first_ns=$run_ns first_copy=$copy
    fi
    last_kb=$run_kb
    rm -f "$exe"
  done
  echo
  echo "a Wine process that ends at once (the projector alone): peak $(mebibytes "$base_kb"), run $(seconds "$base_ns")"
  local growth verdict
  growth=$(awk -v a="$first_kb" -v b="$last_kb" 'BEGIN {printf "%.1f", (b - a) / 1024}')
  verdict=$(awk -v g="$growth" 'BEGIN {print (g <= 4 ? "met" : "not met")}')
  echo "peak growth from the smallest to the largest package: $growth MiB (target at most 4 MiB: $verdict)"
  verdict=$(awk -v r="$ratio" 'BEGIN {print (r <= 2.5 ? "met" : "not met")}')
  echo "run / cp at the largest package: $ratio (target at most 2.5: $verdict)"
  # What grows with the package, without the start-up both ends share.
  echo "run time that grows from the smallest to the largest package: $(seconds $((run_ns - first_ns)))," \
    "cp's: $(seconds $((copy - first_copy)))"
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
trap 'rm -f "$work"/bench-*m.exe "$work"/projector-*m.exe' EXIT   # hundreds of MiB
i686-w64-mingw32-gcc -mwindows -static -Os -s "$root/tools/packtool/bench/quick_exit.c" -o "$work/quick-exit.exe"
# Static, so that it runs as well in the emulated machine.
cc -static -O2 "$root/tools/packtool/bench/run_measured.c" -o "$work/run-measured"

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
