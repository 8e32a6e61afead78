#!/usr/bin/env bash
# Exits 0 when this host runs 32-bit x86 Linux programs natively (so 32-bit
# Wine runs directly), 1 when it does not (use scripts/winvm/run.sh instead).
#
# Usage: can-run-i386.sh [-v]            -v: say why on stderr
#        can-run-i386.sh --write-probe FILE   write the probe program to FILE
#
# The probe is a tiny static 32-bit ELF embedded below. Run with no argument
# it only calls exit(42) through int 0x80, the i386 system call. Run with an
# argument it far-jumps from 32-bit code to the kernel's 64-bit user code
# segment (selector 0x33) and calls exit(42) with the 64-bit syscall
# instruction. That jump only works on a real x86_64 kernel running the
# program in compat mode: an emulator reached through a binfmt_misc handler
# (qemu-i386 and the like) emulates a 32-bit machine, has no such segment,
# and the program dies of SIGSEGV. So a binfmt handler cannot make this
# script answer yes. On a 32-bit x86 kernel the plain probe is used.
set -u

# The probe, byte by byte (121 bytes; load address 0x08048000):
probe_hex=(
  # ELF header: 32-bit, little-endian, executable, i386, entry 0x08048054,
  # program headers at 0x34, one of them
  7f 45 4c 46 01 01 01 00  00 00 00 00 00 00 00 00
  02 00 03 00 01 00 00 00  54 80 04 08 34 00 00 00
  00 00 00 00 00 00 00 00  34 00 20 00 01 00 00 00
  00 00 00 00
  # program header: PT_LOAD of the whole file (0x79 bytes) at 0x08048000, r-x
  01 00 00 00 00 00 00 00  00 80 04 08 00 80 04 08
  79 00 00 00 79 00 00 00  05 00 00 00 00 10 00 00
  # 0x54: cmpl $1,(%esp)       argc == 1: no argument
  83 3c 24 01
  #       jne  0x66
  75 0c
  #       mov $1,%eax; mov $42,%ebx; int $0x80        exit(42), i386
  b8 01 00 00 00  bb 2a 00 00 00  cd 80
  # 0x66: ljmp $0x33,$0x0804806d                       into 64-bit mode
  ea 6d 80 04 08 33 00
  # 0x6d: mov $60,%eax; mov $42,%edi; syscall          exit(42), x86_64
  b8 3c 00 00 00  bf 2a 00 00 00  0f 05
)

write_probe() {
  local h out=
  for h in "${probe_hex[@]}"; do
    [[ $h == [0-9a-f][0-9a-f] ]] && out+="\\x$h"
  done
  printf '%b' "$out" >"$1" && chmod 755 "$1"
}

if [ "${1:-}" = --write-probe ]; then
  [ $# -eq 2 ] || { echo "usage: $0 --write-probe FILE" >&2; exit 2; }
  write_probe "$2"
  exit
fi
verbose=
[ "${1:-}" = -v ] && verbose=1
say() { [ -z "$verbose" ] || echo "can-run-i386: $*" >&2; }

case $(uname -m) in
  x86_64) gate=(gate) ;;   # any argument selects the 64-bit gate test
  i?86) gate=() ;;
  *) say "not an x86 kernel ($(uname -m))"; exit 1 ;;
esac

# A directory we may execute from (a noexec /tmp would give a false no).
dir=
for d in "${TMPDIR:-}" /tmp /var/tmp /dev/shm; do
  [ -n "$d" ] && [ -d "$d" ] && [ -w "$d" ] || continue
  case ",$(findmnt -n -o OPTIONS -T "$d" 2>/dev/null)," in *,noexec,*) continue ;; esac
  dir=$d
  break
done
[ -n "$dir" ] || { say "no writable directory allows executing a program"; exit 1; }

probe=$(mktemp "$dir/can-run-i386.XXXXXX") || exit 1
trap 'rm -f "$probe"' EXIT
write_probe "$probe" || exit 1

"$probe" "${gate[@]}" >/dev/null 2>&1
rc=$?
if [ $rc -ne 42 ]; then
  say "the 32-bit probe did not run natively (exit status $rc)"
  exit 1
fi

# The i386 dynamic loader, when installed, must run too (it would not with a
# broken multiarch install). Native execution is already proven above, so a
# binfmt handler cannot be what runs it.
if [ -e /lib/ld-linux.so.2 ] && ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  say "/lib/ld-linux.so.2 is installed but does not run"
  exit 1
fi
say "32-bit x86 programs run natively"
exit 0
