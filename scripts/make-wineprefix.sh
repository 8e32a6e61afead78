#!/usr/bin/env bash
# Creates a private Wine prefix once (tests never touch ~/.wine) and waits
# until its wineserver has written everything. It is copied instead from a
# finished prefix when there is one (the second argument, or
# WINE_PREFIX_TEMPLATE): far quicker than another wineboot, which matters
# most where Wine runs in an emulated machine.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
WINEPREFIX=$1
. "$here/wine-prefix-path.sh"
prefix=$WINEPREFIX
template=${2:-}
if [ -n "$template" ]; then WINEPREFIX=$template; . "$here/wine-prefix-path.sh"; template=$WINEPREFIX; fi
[ -n "$template" ] || template=${WINE_PREFIX_TEMPLATE:-}
if [ -f "$prefix/.ready" ]; then exit 0; fi
rm -rf "$prefix" "$prefix.tmp"
mkdir -p "$(dirname "$prefix")"
if [ -n "$template" ] && [ -f "$template/system.reg" ]; then
  WINEPREFIX=$template wineserver -w 2>/dev/null || true
  cp -a "$template" "$prefix.tmp"
  mv "$prefix.tmp" "$prefix"
  touch "$prefix/.ready"
  exit 0
fi
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot -i >/dev/null 2>&1
wineserver -w
touch "$prefix/.ready"
