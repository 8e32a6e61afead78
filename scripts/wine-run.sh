#!/usr/bin/env bash
# Runs one Windows program under Wine for CTest: the private prefix of the
# build tree (never ~/.wine), quiet, without Mono or Gecko.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:=$here/../build/windows/wineprefix}"
. "$here/wine-prefix-path.sh"
export WINEPREFIX WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
exec wine "$@"
