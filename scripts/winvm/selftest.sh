#!/usr/bin/env bash
# Proves that the winvm guest runs 32-bit Windows GUI programs under Wine and
# that run.sh passes commands, output, exit codes and environment through,
# and prints how long each phase takes. Builds the image first if needed.
#
# Usage: selftest.sh
# Set QEMU_I386 to a qemu-i386 user-mode emulator binary (or have one in
# PATH) to also check that can-run-i386.sh's probe is not fooled by one.
set -euo pipefail
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
run="$WINVM_HOME/run.sh"
can_run="$WINVM_HOME/../can-run-i386.sh"

passed=0
failed=0
check() { # check NAME EXPECTED ACTUAL
  if [ "$2" = "$3" ]; then
    passed=$((passed + 1))
    echo "ok    $1"
  else
    failed=$((failed + 1))
    echo "FAIL  $1: expected [$2], got [$3]"
  fi
}
timings=()
timing() { timings+=("$(printf '%-44s %8s s' "$1" "$2")"); }

# --- image ------------------------------------------------------------------
t=$(winvm_now)
"$WINVM_HOME/setup.sh"
timing "setup.sh (this run)" "$(winvm_since "$t")"
while read -r phase secs; do
  timing "  image build: $phase (when it was built)" "$secs"
done <"$WINVM_CACHE/timings"

# Files for the guest live in a host temporary directory, shared with it.
work=$(mktemp -d /tmp/winvm-selftest.XXXXXX)
trap 'rm -rf "$work"' EXIT

# --- run.sh usage errors: refused before any VM starts (exit 2) ------------
while IFS='|' read -r name args; do
  rc=0
  # shellcheck disable=SC2086 # the table's arguments are split on purpose
  "$run" $args >/dev/null 2>&1 || rc=$?
  check "usage error: $name" 2 "$rc"
done <<'CASES'
no command|--
bad time limit|--timeout soon -- true
share where the guest has its own /tmp|--share /tmp -- true
working directory not shared|--cwd /usr -- true
missing directory|--share /nonexistent-winvm -- true
CASES

# --- run.sh plumbing: output, exit code, environment, directory -------------
cat >"$work/plumbing.sh" <<'EOF'
echo "pwd=$(pwd)"
echo "ci=${CI-unset}"
echo "winefoo=${WINEFOO-unset}"
echo "extra=${SELFTEST_EXTRA-unset}"
echo "private=${SELFTEST_PRIVATE-unset}"
echo "args=$#:$1:$2"
echo "tmp=$(findmnt -n -o FSTYPE /tmp)"
echo "home=$HOME"
echo "to stderr" >&2
exit 3
EOF
mkdir -p "$work/sub dir"
t=$(winvm_now)
rc=0
CI=ci-value WINEFOO='a b$c' SELFTEST_EXTRA=x SELFTEST_PRIVATE=y \
  "$run" --share "$work" --cwd "$work/sub dir" --env SELFTEST_EXTRA -- \
  bash "$work/plumbing.sh" 'one arg' '"two"' >"$work/out" 2>"$work/err" || rc=$?
timing "VM boot, trivial command, power-off" "$(winvm_since "$t")"
out() { sed -n "s/^$1=//p" "$work/out"; }
check "exit code of the command" 3 "$rc"
check "stderr kept apart" "to stderr" "$(cat "$work/err")"
check "working directory, same path as on the host" "$work/sub dir" "$(out pwd)"
check "CI passed through" ci-value "$(out ci)"
check "WINE* passed through, quoting kept" 'a b$c' "$(out winefoo)"
check "--env NAME passed through" x "$(out extra)"
check "other variables not passed" unset "$(out private)"
check "arguments kept" '2:one arg:"two"' "$(out args)"
check "/tmp is a tmpfs" tmpfs "$(out tmp)"
check "HOME" /root "$(out home)"

# --- the time limit ---------------------------------------------------------
t=$(winvm_now)
rc=0
"$run" --timeout 20s -- sleep 600 >/dev/null 2>"$work/err" || rc=$?
secs=$(winvm_since "$t")
check "time limit kills the VM (exit 124)" 124 "$rc"
check "time limit kills the VM in time" yes "$(awk -v s="$secs" 'BEGIN { print (s < 80) ? "yes" : "no" }')"

# --- Wine -------------------------------------------------------------------
# A GUI program that shows nothing: it registers a class and creates a window
# it never shows, checks the screen size Wine reports against its arguments
# (Xvfb's), and exits 7 only if all of that worked.
cat >"$work/prog.cpp" <<'EOF'
#include <windows.h>
#include <stdlib.h>

static LRESULT CALLBACK proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  return DefWindowProcA(w, m, wp, lp);
}

int WINAPI WinMain(HINSTANCE inst, HINSTANCE, LPSTR, int) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = proc;
  wc.hInstance = inst;
  wc.lpszClassName = "winvm_selftest";
  if (!RegisterClassA(&wc)) return 2;
  HWND w = CreateWindowA("winvm_selftest", "selftest", WS_OVERLAPPEDWINDOW,
                         0, 0, 200, 100, NULL, NULL, inst, NULL);
  if (!w) return 3;
  if (__argc != 3 || GetSystemMetrics(SM_CXSCREEN) != atoi(__argv[1]) ||
      GetSystemMetrics(SM_CYSCREEN) != atoi(__argv[2]))
    return 4;
  DestroyWindow(w);
  return 7;
}
EOF
i686-w64-mingw32-g++ -static -mwindows -O2 -o "$work/prog.exe" "$work/prog.cpp"

cat >"$work/wine.sh" <<'EOF'
# Runs in the guest. Prints "rc_NAME=N" and "time_NAME=SECONDS" lines.
cd "$(dirname "$0")"
now() { date +%s.%N | cut -c1-13; }
phase() { # phase NAME CMD...
  local t0 rc=0; t0=$(now)
  "${@:2}" || rc=$?
  echo "rc_$1=$rc"
  echo "time_$1=$(awk -v a="$t0" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }')"
}
xrun() { xvfb-run -a -s "-screen 0 1024x768x24" "$@"; }
export WINEDEBUG=-all
phase can_run_i386 "$CAN_RUN_I386"
export WINEPREFIX=/tmp/fresh-prefix WINEDLLOVERRIDES="mscoree,mshtml="
phase wineboot xrun sh -c 'wineboot -i && wineserver -w'
echo "prefix=$(test -f /tmp/fresh-prefix/system.reg && echo made)"
phase prog_fresh xrun sh -c 'wine prog.exe 1024 768; rc=$?; wineserver -w; exit $rc'
unset WINEPREFIX
phase prog_premade xrun sh -c 'wine prog.exe 1024 768; rc=$?; wineserver -w; exit $rc'
EOF
t=$(winvm_now)
rc=0
CAN_RUN_I386="$(cd "$(dirname "$can_run")" && pwd)/can-run-i386.sh" \
  "$run" --share "$work" --env CAN_RUN_I386 -- bash "$work/wine.sh" >"$work/out" || rc=$?
timing "VM with Wine phases below (total)" "$(winvm_since "$t")"
check "guest script ran" 0 "$rc"
check "can-run-i386.sh says yes in the guest" 0 "$(out rc_can_run_i386)"
check "wineboot -i of a new prefix" 0 "$(out rc_wineboot)"
check "new prefix created" made "$(out prefix)"
check "prog.exe exits 7 (new prefix)" 7 "$(out rc_prog_fresh)"
check "prog.exe exits 7 (prefix made by setup.sh)" 7 "$(out rc_prog_premade)"
timing "  wineboot -i, new prefix (in the guest)" "$(out time_wineboot)"
timing "  wine prog.exe, new prefix (in the guest)" "$(out time_prog_fresh)"
timing "  wine prog.exe, premade prefix (in the guest)" "$(out time_prog_premade)"

# --- can-run-i386.sh against a user-mode emulator ---------------------------
emu=${QEMU_I386:-$(command -v qemu-i386-static || command -v qemu-i386 || true)}
if [ -n "$emu" ]; then
  "$can_run" --write-probe "$work/probe"
  # (braces: bash's own "Segmentation fault" report goes to /dev/null too)
  rc=0; { "$emu" "$work/probe"; } >/dev/null 2>&1 || rc=$?
  check "emulated probe: plain i386 path runs" 42 "$rc"
  rc=0; { "$emu" "$work/probe" gate; } >/dev/null 2>&1 || rc=$?
  check "emulated probe: 64-bit gate fails" no "$([ "$rc" = 42 ] && echo yes || echo no)"
else
  echo "skip  can-run-i386.sh against qemu-i386 (set QEMU_I386 to a qemu-i386 binary)"
fi

echo
echo "timings:"
printf '  %s\n' "${timings[@]}"
echo "selftest: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
