#!/usr/bin/env bash
# Builds, once per machine, the Debian guest that runs Wine under full-system
# emulation (see README.md), and caches it in /var/cache/winvm-<stamp>/:
#   disk.img    raw ext4 root file system (never changed after this script)
#   vmlinuz, initrd.img
#   timings     seconds each build phase took
#   build.log   everything the build printed
# Idempotent and quiet: nothing happens, and nothing is printed, when the
# image for this version of the scripts exists. A build (about 5 minutes)
# prints one line when it starts and one when it ends, and the log's tail if
# it fails. Needs root (debootstrap, chroot) and Debian's package mirror.
#
# Usage: setup.sh [--print-dir]   (--print-dir: print the cache directory)
set -euo pipefail
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"

print_dir=
[ "${1:-}" = --print-dir ] && print_dir=1
done_() { [ -z "$print_dir" ] || echo "$WINVM_CACHE"; exit 0; }
[ -f "$WINVM_CACHE/complete" ] && done_

[ "$(id -u)" -eq 0 ] || winvm_die "setup.sh needs root (debootstrap and chroot)"

MIRROR=${WINVM_MIRROR:-http://deb.debian.org/debian}
SECURITY_MIRROR=${WINVM_SECURITY_MIRROR:-http://deb.debian.org/debian-security}
SUITE=bookworm
# What the guest needs: Wine with its 32-bit loader, an X server for GUI
# programs, the tools tests use, a kernel (its initramfs-tools comes along),
# and for the guest's init: kmod (modprobe), util-linux (mount), procps,
# iproute2 (to bring up lo) and perl-base (already in minbase, for reboot(2)).
GUEST_PKGS=(wine wine32:i386 xvfb xauth x11-utils x11-apps imagemagick cmake make
            linux-image-amd64 kmod util-linux procps iproute2)
export DEBIAN_FRONTEND=noninteractive

# --- host tools -------------------------------------------------------------
# Installed here too, not only by scripts/bootstrap.sh, so that setup.sh works
# on its own on a fresh machine.
host_missing=()
for p in qemu-system-x86 debootstrap e2fsprogs; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' \
    || host_missing+=("$p")
done
if [ ${#host_missing[@]} -gt 0 ]; then
  apt-get update -qq >/dev/null
  apt-get install -y -qq --no-install-recommends "${host_missing[@]}" >/dev/null
fi

# --- one build at a time ----------------------------------------------------
mkdir -p "$WINVM_CACHE_ROOT"
exec 8>"$WINVM_CACHE_ROOT/winvm-build.lock"
flock 8
[ -f "$WINVM_CACHE/complete" ] && done_   # built while we waited

build="$WINVM_CACHE.build"
root="$build/rootfs"
log="$build/build.log"

# Unmounts everything under a directory, deepest first. The chroot has proc,
# sys and a /dev of its own mounted while we work in it; deleting a tree with
# any of those still mounted would reach into the host's, so every rm -rf
# below also uses --one-file-system.
umount_under() {
  local m
  awk -v d="$1" '$2 == d || index($2, d "/") == 1 { print $2 }' /proc/self/mounts \
    | sort -r | while read -r m; do
      umount "$m" 2>/dev/null || umount -l "$m"
    done
}
remove_tree() {
  [ -e "$1" ] || return 0
  umount_under "$1"
  rm -rf --one-file-system "$1"
}

# Leftovers of an interrupted build (ours or an older version's) are safe to
# delete: we hold the build lock.
for d in "$WINVM_CACHE_ROOT"/winvm-*.build; do remove_tree "$d"; done
mkdir -p "$build"
: >"$log"

on_exit() {
  local rc=$?
  # An interrupted provisioning boot must not leave qemu running.
  [ -z "${WINVM_QEMU_PID:-}" ] || kill "$WINVM_QEMU_PID" 2>/dev/null || true
  umount_under "$root" 2>/dev/null || true
  if [ $rc -ne 0 ]; then
    echo "winvm: building the guest image failed; the end of $log:" >&2
    tail -n 30 "$log" >&2
  fi
}
trap on_exit EXIT

t_all=$(winvm_now)
phase() { # phase NAME CMD...: run CMD with its output in the log, time it
  local t; t=$(winvm_now)
  echo "=== $1" >>"$log"
  "${@:2}" >>"$log" 2>&1
  echo "$1 $(winvm_since "$t")" >>"$build/timings"
}
in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin \
  HOME=/root LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"; }

# The build needs about 4.5 GB at its peak and leaves 2.4 GB.
free_mb=$(df -Pm "$WINVM_CACHE_ROOT" | awk 'NR == 2 { print $4 }')
[ "${free_mb:-0}" -ge 6000 ] \
  || winvm_die "need 6 GB free in $WINVM_CACHE_ROOT to build the guest image, have ${free_mb:-?} MB"

echo "winvm: building the guest image in $WINVM_CACHE (4 to 5 minutes on an idle machine, once per machine)" >&2

# --- 1. base system ---------------------------------------------------------
phase debootstrap debootstrap --variant=minbase --arch=amd64 "$SUITE" "$root" "$MIRROR"

# --- 2. packages, in the chroot ---------------------------------------------
mount_chroot() {
  mount -t proc proc "$root/proc"
  # A sysfs of its own, read-only: nothing in the chroot has to write there.
  mount -t sysfs -o ro sysfs "$root/sys"
  # Not a bind mount of the host's /dev: a tmpfs with the few nodes package
  # scripts use, so the chroot cannot touch the host's devices.
  mount -t tmpfs -o mode=0755,nosuid tmpfs "$root/dev"
  mknod -m 666 "$root/dev/null" c 1 3
  mknod -m 666 "$root/dev/zero" c 1 5
  mknod -m 666 "$root/dev/full" c 1 7
  mknod -m 666 "$root/dev/random" c 1 8
  mknod -m 666 "$root/dev/urandom" c 1 9
  mknod -m 666 "$root/dev/tty" c 5 0
  mkdir -p "$root/dev/pts" "$root/dev/shm"
  ln -s /proc/self/fd "$root/dev/fd"
}
configure_root() {
  cat >"$root/etc/apt/sources.list" <<EOF
deb $MIRROR $SUITE main
deb $MIRROR $SUITE-updates main
deb $SECURITY_MIRROR $SUITE-security main
EOF
  # Services must not start in the chroot (and there are none to start in
  # the guest: its init runs one command).
  printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
  chmod 755 "$root/usr/sbin/policy-rc.d"
  # No documentation in the image: smaller and faster to build.
  cat >"$root/etc/dpkg/dpkg.cfg.d/winvm-nodoc" <<'EOF'
path-exclude=/usr/share/doc/*
path-exclude=/usr/share/man/*
path-exclude=/usr/share/info/*
EOF
  # A small initramfs: only what finds and mounts the root (virtio disk,
  # ext4). Debian's default (MODULES=most) is 35 MB, slow to load under
  # emulation. gzip because zstd is not installed; no resume from
  # hibernation to look for. The module list follows
  # the kernel's install, as /etc/initramfs-tools/modules is a conffile.
  mkdir -p "$root/etc/initramfs-tools/conf.d"
  printf 'MODULES=list\nCOMPRESS=gzip\nRESUME=none\n' >"$root/etc/initramfs-tools/conf.d/winvm.conf"
  echo winvm >"$root/etc/hostname"
  printf '127.0.0.1\tlocalhost\n127.0.1.1\twinvm\n::1\tlocalhost ip6-localhost\n' >"$root/etc/hosts"
  in_root dpkg --add-architecture i386
  in_root apt-get update -qq
}
prepare_chroot() { mount_chroot; configure_root; }
phase configure prepare_chroot
phase install in_root apt-get install -y --no-install-recommends "${GUEST_PKGS[@]}"

# i386 maintainer scripts that tried to run a 32-bit program failed with
# "Exec format error" (this host cannot run them). All such scripts in
# bookworm's set ignore that failure (they end in "|| true": glib's
# gio-querymodules and glib-compile-schemas); a script that did not would
# have failed the install above. The guest's first boot re-runs them.
mkdir -p "$root/var/lib/winvm"
sed -n 's|^/var/lib/dpkg/info/\(.*\)\.postinst: [0-9]*: .*: Exec format error$|\1|p' "$log" \
  | sort -u >"$root/var/lib/winvm/redo-postinst"

finish_root() {
  printf 'virtio_pci\nvirtio_blk\ncrc32c_generic\next4\n' >>"$root/etc/initramfs-tools/modules"
  in_root update-initramfs -u -k all
  install -m 755 "$WINVM_HOME/guest/init.sh" "$root/usr/local/sbin/winvm-init"
  install -m 755 "$WINVM_HOME/guest/provision.sh" "$root/usr/local/sbin/winvm-provision"
  in_root apt-get clean
  rm -rf "$root/var/lib/apt/lists/"*
  umount_under "$root"
  cp "$root"/boot/vmlinuz-* "$build/vmlinuz"
  cp "$root"/boot/initrd.img-* "$build/initrd.img"
}
phase initramfs finish_root

# --- 3. the disk image ------------------------------------------------------
# Room for the Wine prefix made below (about 600 MB) and for what tests write
# inside the guest; the file is sparse, unused space costs nothing. Inode
# tables and journal are initialised now rather than by the guest kernel in
# the background, which would slow every boot.
make_image() {
  local used; used=$(du -sm --one-file-system "$root" | cut -f1)
  mke2fs -q -t ext4 -L winvmroot -E lazy_itable_init=0,lazy_journal_init=0 \
    -d "$root" "$build/disk.img" "$((used + 4096))M"
  remove_tree "$root"
}
phase image make_image

# --- 4. first boot: finish package setup, create the Wine prefix ------------
provision() {
  local job="$build/job"
  mkdir -p "$job"
  : >"$job/mounts"
  echo 'exec /usr/local/sbin/winvm-provision' >"$job/job.sh"
  WINVM_IMAGE_DIR=$build winvm_boot "$job" 40m off
  e2fsck -fp "$build/disk.img"
  rm -rf "$job"
}
phase provision provision

chmod 444 "$build/disk.img"
echo "total $(winvm_since "$t_all")" >>"$build/timings"
: >"$build/lock"
mv "$build" "$WINVM_CACHE"
touch "$WINVM_CACHE/complete"
trap - EXIT

# Older images (other stamps) are deleted unless a run.sh holds them (it keeps
# a shared lock on their lock file while the VM runs).
for d in "$WINVM_CACHE_ROOT"/winvm-*/; do
  d=${d%/}
  [ "$d" = "$WINVM_CACHE" ] && continue
  [ -f "$d/lock" ] || continue
  if flock -n -x "$d/lock" true; then rm -rf --one-file-system "$d"; fi
done

echo "winvm: guest image ready ($(winvm_since "$t_all") s, $(du -sh "$WINVM_CACHE" | cut -f1) on disk)" >&2
done_
