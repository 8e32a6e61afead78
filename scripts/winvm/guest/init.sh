#!/bin/bash
# PID 1 of the winvm guest (installed as /usr/local/sbin/winvm-init and booted
# with init=...). There is no init system: this script mounts what a command
# needs, runs the one job the host put in the job share, records its exit code
# there and powers the machine off. The host side is scripts/winvm/lib.sh.
#
# Job share (9p tag "winvm_job", mounted at /run/winvm):
#   mounts    lines "TAG PATH": further 9p shares to mount at PATH
#   job.sh    bash script the job runs (sets the environment, cd, exec CMD)
#   stdout    written here: the job's standard output
#   stderr    written here: the job's standard error
#   exitcode  written here last: the job's exit status
#
# Anything going wrong here must still end in a power-off: a PID 1 that exits
# panics the kernel, and even then panic=-1 on the kernel command line plus
# qemu's -no-reboot turn the panic into qemu exiting, so the host never hangs
# on the guest (it also has its own time limit).

export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
JOB=/run/winvm

log() { echo "winvm-init: $*" >/dev/console; }

power_off() {
  sync
  # Remount read-only so a writable boot (setup's provisioning) leaves a
  # clean file system; with snapshot=on it only avoids a noisy journal.
  mount -o remount,ro / 2>/dev/null
  sync
  # No systemd/sysvinit here to call poweroff(8): use reboot(2) directly.
  # 169 = __NR_reboot on x86_64, the numbers are LINUX_REBOOT_MAGIC1/2 and
  # LINUX_REBOOT_CMD_POWER_OFF. qemu exits when the guest powers off.
  perl -e 'syscall(169, 0xfee1dead, 672274793, 0x4321fedc)'
  # Fallback if the syscall did not act: ask the kernel via sysrq.
  echo o >/proc/sysrq-trigger
  while :; do sleep 3600; done
}

mnt() { # mnt TYPE SOURCE TARGET [OPTIONS]: mount unless already mounted
  mountpoint -q "$3" && return 0
  mkdir -p "$3"
  mount -t "$1" ${4:+-o "$4"} "$2" "$3"
}

# The initramfs already moved /dev, /proc, /sys and /run into the root; make
# sure of them anyway (booting without an initramfs must work too).
mnt proc proc /proc
mnt sysfs sysfs /sys
mnt devtmpfs devtmpfs /dev
mnt tmpfs tmpfs /run mode=0755,nosuid,nodev
mnt devpts devpts /dev/pts gid=5,mode=620,ptmxmode=666
mnt tmpfs tmpfs /dev/shm mode=1777,nosuid,nodev
mnt tmpfs tmpfs /tmp mode=1777,nosuid,nodev
mount -o remount,rw / 2>/dev/null
hostname winvm
ip link set lo up 2>/dev/null

modprobe -q 9pnet_virtio && modprobe -q 9p || log "cannot load the 9p modules"
# cache=none (the default) so every write of the job's output reaches the host
# file at once: the host tails those files to stream them.
if ! mnt 9p winvm_job "$JOB" trans=virtio,version=9p2000.L,msize=262144; then
  log "cannot mount the job share"
  power_off
fi

# User shares, parents before children (the host writes them in that order).
# cache=mmap: still no caching of data, but mmap works, which linkers and
# Wine's loader rely on.
while read -r tag path; do
  [ -n "$tag" ] || continue
  mnt 9p "$tag" "$path" trans=virtio,version=9p2000.L,msize=262144,cache=mmap \
    || log "cannot mount $tag at $path"
done <"$JOB/mounts"

# A clean environment: job.sh exports what the host passed through.
env -i PATH="$PATH" HOME=/root USER=root LOGNAME=root SHELL=/bin/bash \
  TERM=dumb LANG=C.UTF-8 \
  /bin/bash "$JOB/job.sh" </dev/null >"$JOB/stdout" 2>"$JOB/stderr"
rc=$?
echo "$rc" >"$JOB/exitcode.tmp" && mv "$JOB/exitcode.tmp" "$JOB/exitcode"

# Unmount the user shares (children first) so nothing is left half-written.
tac "$JOB/mounts" | while read -r tag path; do
  [ -n "$tag" ] && umount "$path" 2>/dev/null
done
umount "$JOB" 2>/dev/null
power_off
