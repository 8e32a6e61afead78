#!/usr/bin/env bash
# Usage: with-local-copy.sh DIR -- CMD...   (inside the emulated machine)
# Wine cannot map large program images from the machine's 9p share, so DIR
# is copied to the machine's own memory disk and mounted over itself for
# the length of CMD. Nothing CMD writes into DIR reaches the host.
set -euo pipefail
dir=$(cd "$1" && pwd)
shift
[ "${1:-}" = "--" ] && shift
copy=$(mktemp -d /tmp/local-copy.XXXXXX)
cp -a "$dir/." "$copy/"
mount --bind "$copy" "$dir"
status=0
"$@" || status=$?
umount "$dir" || true
exit $status
