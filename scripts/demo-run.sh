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
appear_timeout=90    # seconds; Wine starts slowly in an emulated machine
settle=3             # seconds after the window appears: about the second slide
attempts=3

run_show() { # exe out
  cd "$2"
  wine "$1"
  wineserver -w
}

window_viewable() {
  xwininfo -name "$1" 2>/dev/null | grep -q 'Map State: IsViewable'
}

# Waits for the show's window; fails when the show ends or time runs out first.
await_window() { # show_pid title
  local waited=0
  until window_viewable "$2"; do
    kill -0 "$1" 2>/dev/null && [ "$waited" -lt "$appear_timeout" ] || return 1
    sleep 1
    waited=$((waited + 1))
  done
}

# In the virtual display: start the show, photograph it, wait for its end.
# The launcher gives the projector ten seconds to get ready; a machine that
# is busy enough can miss them, and then the window is never shown. Such a
# run is ended and the show started afresh.
shoot() { # exe out title
  local attempt show
  for attempt in $(seq 1 "$attempts"); do
    (run_show "$1" "$2") &
    show=$!
    if await_window "$show" "$3"; then
      sleep "$settle"
      import -window root "$2/screenshot.png"
      echo "demo-run: screenshot saved"
      wait "$show"
      return
    fi
    echo "demo-run: the window \"$3\" was not shown (attempt $attempt of $attempts)" >&2
    wineserver -k 2>/dev/null || true
    wait "$show" || true
  done
  echo "demo-run: no screenshot" >&2
  return 1
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
