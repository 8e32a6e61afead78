#!/bin/bash
# Runs once, as the job of the guest's first boot, which setup.sh makes with
# the disk writable (installed as /usr/local/sbin/winvm-provision). It does
# what the chroot on a host without 32-bit support could not do.
set -euo pipefail

# 1. Maintainer scripts of i386 packages that tried to run a 32-bit program
#    in the chroot and got "Exec format error" (setup.sh listed them). Those
#    that ignore the error (glib's schema and GIO module caches) configured
#    fine but left their job undone; re-running them here, where 32-bit
#    programs run, finishes it.
redo=/var/lib/winvm/redo-postinst
if [ -s "$redo" ]; then
  while read -r pkg; do
    [ -n "$pkg" ] || continue
    echo "provision: re-running the maintainer scripts of $pkg"
    DEBIAN_FRONTEND=noninteractive dpkg-reconfigure "$pkg"
  done <"$redo"
fi
dpkg --audit

# 2. The default Wine prefix, /root/.wine, so that test runs (the VM always
#    starts from this image) skip wineboot, which costs minutes under
#    emulation. mscoree/mshtml are disabled because wine-mono and wine-gecko
#    are not installed (they are not Debian packages) and wineboot would
#    otherwise look for them. Crash dialogs are turned off: under Xvfb nobody
#    would click them and a crashing test would hang until the time limit.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset WINEPREFIX
t0=$(date +%s)
xvfb-run -a -s "-screen 0 1024x768x24" sh -ec '
  wineboot -i
  wine reg add "HKCU\\Software\\Wine\\WineDbg" /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null
  wineserver -w
'
test -f /root/.wine/system.reg
echo "provision: wineboot took $(($(date +%s) - t0)) s"
wine --version >/var/lib/winvm/provisioned
