# shellcheck shell=bash
# Shared by setup.sh, run.sh and selftest.sh: where the guest image lives and
# how to boot it. Sourced, not run.

WINVM_HOME=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# The image is cached per version stamp: a hash of everything that goes into
# it (setup.sh and the guest scripts). Changing any of them gives a new
# directory, so a stale image is never reused; run.sh changes do not count.
winvm_stamp() {
  cat "$WINVM_HOME/setup.sh" "$WINVM_HOME"/guest/* | sha256sum | cut -c1-12
}
WINVM_CACHE_ROOT=${WINVM_CACHE_ROOT:-/var/cache}
WINVM_CACHE="$WINVM_CACHE_ROOT/winvm-$(winvm_stamp)"

winvm_die() { echo "winvm: $*" >&2; exit 2; }

# Seconds since the epoch with two decimals, for phase timings.
winvm_now() { date +%s.%N | cut -c1-13; }
winvm_since() { awk -v a="$1" -v b="$(winvm_now)" 'BEGIN { printf "%.1f", b - a }'; }

# winvm_boot JOBDIR LIMIT SNAPSHOT
#   Boots the cached guest on the job in JOBDIR (job.sh and mounts, see
#   guest/init.sh), streams the job's stdout/stderr to ours while it runs, and
#   returns the job's exit code. LIMIT is a timeout(1) duration after which the
#   VM is killed (return 124). SNAPSHOT=on keeps the image unchanged (writes go
#   to a throw-away overlay); off writes into it (setup's provisioning boot).
#   Returns 125 when the guest ended without recording an exit code.
#   The image is taken from WINVM_IMAGE_DIR, by default WINVM_CACHE.
#   WINVM_QEMU_ARGS adds qemu options (split at spaces), for experiments.
winvm_boot() {
  local job=$1 limit=$2 snapshot=$3
  local img=${WINVM_IMAGE_DIR:-$WINVM_CACHE}
  local args=() tag path

  # Each user share is exported under its own tag and mounted by the guest at
  # the same absolute path. Commas in qemu option values are escaped by
  # doubling them.
  while read -r tag path; do
    [ -n "$tag" ] || continue
    args+=(-virtfs "local,path=${path//,/,,},mount_tag=$tag,security_model=none,multidevs=remap")
  done <"$job/mounts"

  : >"$job/stdout"
  : >"$job/stderr"
  rm -f "$job/exitcode"

  # -nodefaults: no VGA, NIC, floppy or CD; the guest needs none and a NIC
  # would only add boot time. -monitor none: with -nographic qemu would
  # otherwise put its monitor on our stdout. The kernel's console goes to a
  # log file, kept for diagnosing boot failures. panic=-1 and -no-reboot make
  # any guest crash end qemu instead of rebooting in a loop. mitigations=off
  # saves emulated time; the guest runs only our own tests.
  # One virtual CPU by default, measured: with -smp 2, Wine in the guest
  # took 2 to 4 times longer (wineboot 196 s against 54 s, a GUI program
  # 31-40 s against 14-18 s, the boot 14 s against 8 s) while qemu burned
  # that much more host CPU, so it is not contention: cross-CPU wake-ups and
  # TLB flushes between wine and wineserver are very costly under TCG.
  # WINVM_SMP=2 gives two, e.g. for parallel builds inside the guest.
  timeout -k 30 "$limit" qemu-system-x86_64 \
    -nodefaults -nographic -monitor none -no-reboot \
    -accel tcg,thread=multi -smp "${WINVM_SMP:-1}" -m 4096 \
    -kernel "$img/vmlinuz" -initrd "$img/initrd.img" \
    -append "console=ttyS0 root=/dev/vda rw init=/usr/local/sbin/winvm-init panic=-1 quiet mitigations=off" \
    -drive "file=$img/disk.img,format=raw,if=virtio,snapshot=$snapshot" \
    -serial "file:$job/console.log" \
    -virtfs "local,path=${job//,/,,},mount_tag=winvm_job,security_model=none" \
    "${args[@]}" ${WINVM_QEMU_ARGS:-} </dev/null >"$job/qemu.log" 2>&1 &
  local qpid=$!
  WINVM_QEMU_PID=$qpid

  # tail --pid stops once qemu is gone, after a last read of the files. It can
  # only see qemu gone after we reaped it, hence wait qpid before the tails.
  tail -q -n +1 -s 0.2 -f --pid="$qpid" "$job/stdout" &
  local t1=$!
  tail -q -n +1 -s 0.2 -f --pid="$qpid" "$job/stderr" >&2 &
  local t2=$!
  local t3=
  if [ -n "${WINVM_VERBOSE:-}" ]; then
    tail -q -n +1 -s 0.5 -f --pid="$qpid" "$job/console.log" 2>/dev/null | sed 's/^/winvm console: /' >&2 &
    t3=$!
  fi

  local qrc=0
  wait "$qpid" || qrc=$?
  WINVM_QEMU_PID=
  wait $t1 $t2 $t3 2>/dev/null || true

  if [ "$qrc" -eq 124 ] || [ "$qrc" -eq 137 ]; then
    echo "winvm: time limit $limit reached, the VM was killed" >&2
    return 124
  fi
  if [ ! -s "$job/exitcode" ]; then
    echo "winvm: the guest ended without an exit code (qemu status $qrc)." >&2
    echo "winvm: qemu said:" >&2
    tail -n 20 "$job/qemu.log" >&2
    echo "winvm: end of the guest console:" >&2
    tail -n 40 "$job/console.log" | tr -d '\r' >&2
    return 125
  fi
  return "$(cat "$job/exitcode")"
}
