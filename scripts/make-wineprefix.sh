#!/usr/bin/env bash
# Creates a private Wine prefix once (tests never touch ~/.wine) and waits
# until its wineserver has written everything.
set -euo pipefail
prefix=$1
if [ -f "$prefix/.ready" ]; then exit 0; fi
rm -rf "$prefix"
mkdir -p "$(dirname "$prefix")"
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot -i >/dev/null 2>&1
wineserver -w
touch "$prefix/.ready"
