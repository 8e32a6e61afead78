#!/usr/bin/env bash
# Runs the Windows test programs under Wine inside a virtual X server (the
# 1024x768 screen is the desktop the placement tests expect). Where this host
# cannot execute 32-bit code, Wine runs inside an emulated Debian machine
# that sees this tree at the same path.
set -euo pipefail
cd "$(dirname "$0")/.."
inner=(xvfb-run -a -s "-screen 0 1024x768x24" ctest --preset windows "$@")
if bash scripts/can-run-i386.sh; then
  "${inner[@]}"
else
  echo "run-windows-tests: this host cannot run 32-bit code; running Wine in the emulated machine" >&2
  bash scripts/winvm/setup.sh
  # The guest keeps the test prefixes on its own disk, copied from the
  # prefix its image comes with, and runs the programs from a local copy.
  WINE_PREFIX_ROOT=/tmp/wineprefixes WINE_PREFIX_TEMPLATE=/root/.wine \
    bash scripts/winvm/run.sh --cwd "$PWD" -- \
      bash scripts/with-local-copy.sh build/windows/bin -- "${inner[@]}"
fi
