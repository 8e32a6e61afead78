#!/usr/bin/env bash
# Runs a packaged presentation under Wine in a private prefix beside it (or,
# with WINE_PREFIX_ROOT set, of that name there) and returns when the
# presentation has ended: on $DISPLAY when there is one,
# otherwise in a virtual X server, where it saves OUT_DIR/screenshot.png a
# few seconds after the window titled TITLE has appeared.
# Usage: demo-run.sh PACKAGED_EXE OUT_DIR TITLE
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

screen="-screen 0 1024x768x24"
appear_timeout=300   # seconds; Wine starts slowly in an emulated machine
settle=4             # seconds after the window appears: the show's second slide

run_show() { # exe out
  cd "$2"
  wine "$1"
  wineserver -w
}

window_viewable() {
  xwininfo -name "$1" 2>/dev/null | grep -q 'Map State: IsViewable'
}

# In the virtual display: start the show, photograph it, wait for its end.
shoot() { # exe out title
  (run_show "$1" "$2") &
  local show=$! waited=0
  while ! window_viewable "$3"; do
    if ! kill -0 "$show" 2>/dev/null || [ "$waited" -ge "$appear_timeout" ]; then
      echo "demo-run: the window \"$3\" did not appear; no screenshot" >&2
      wait "$show"
      return 1
    fi
    sleep 1
    waited=$((waited + 1))
  done
  sleep "$settle"
  import -window root "$2/screenshot.png"
  echo "demo-run: screenshot saved"
  wait "$show"
}

if [ "${1:-}" = --in-virtual-display ]; then
  shift
  shoot "$@"
  exit
fi

[ $# -eq 3 ] || { echo "usage: demo-run.sh PACKAGED_EXE OUT_DIR TITLE" >&2; exit 2; }
exe=$(realpath "$1")
out=$(realpath "$2")
bash "$here/make-wineprefix.sh" "$out/wineprefix"
WINEPREFIX=$out/wineprefix
. "$here/wine-prefix-path.sh"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

if [ -n "${DISPLAY:-}" ]; then
  run_show "$exe" "$out"
else
  xvfb-run -a -s "$screen" bash "$here/demo-run.sh" --in-virtual-display "$exe" "$out" "$3"
fi
