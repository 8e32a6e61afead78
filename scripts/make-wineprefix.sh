#!/usr/bin/env bash
# Creates a private Wine prefix once (tests never touch ~/.wine) and waits
# until its wineserver has written everything. With a second argument, the
# prefix is copied from that finished one instead: far quicker than a second
# wineboot, which matters most where Wine runs in an emulated machine.
set -euo pipefail
prefix=$1
template=${2:-}
if [ -f "$prefix/.ready" ]; then exit 0; fi
rm -rf "$prefix"
mkdir -p "$(dirname "$prefix")"
if [ -n "$template" ] && [ -f "$template/.ready" ]; then
  WINEPREFIX=$template wineserver -w 2>/dev/null || true
  cp -a "$template" "$prefix.tmp"
  mv "$prefix.tmp" "$prefix"
  exit 0
fi
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot -i >/dev/null 2>&1
wineserver -w
touch "$prefix/.ready"
