#!/usr/bin/env bash
# Installs, from Debian's packages, everything the build and the tests need.
# Idempotent and quiet: it does nothing when all is present already.
set -euo pipefail

packages=(g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine32:i386 xvfb cmake
          libgtest-dev g++ make clang x11-utils imagemagick)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
echo "bootstrap: installing ${missing[*]}" >&2
$sudo apt-get update -qq >/dev/null
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
