#!/usr/bin/env bash
# Runs one command as root inside the winvm guest (an emulated Debian amd64
# machine where 32-bit Wine works), and exits with the command's exit code.
#
# Usage: run.sh [OPTIONS] -- CMD [ARGS...]
#   --cwd DIR         directory to run CMD in (default: the current directory
#                     when it is shared, else the git top-level)
#   --share DIR       also share DIR (repeatable; WINVM_SHARES=DIR:DIR too)
#   --env NAME        also pass the host variable NAME (repeatable;
#                     WINVM_ENV="NAME NAME" too)
#   --timeout LIMIT   kill the VM after LIMIT (timeout(1) syntax: 90s, 80m,
#                     2h; default WINVM_TIMEOUT or 80m); exit status 124
#
# The parent of the git top-level (/work for /work/main) is always shared, so
# absolute paths there are the same inside the guest. Shares are live 9p
# mounts: what the guest writes there appears on the host at once.
# Passed through: CI, DISPLAY, WINE*, GTEST_*, CTEST_* and the names above.
# The guest has PATH, HOME=/root, LANG=C.UTF-8, a tmpfs /tmp, and a Wine
# prefix ready in /root/.wine (used when WINEPREFIX is not set).
# CMD's stdout and stderr stream to ours while it runs (each in order; their
# interleaving is not kept). WINVM_VERBOSE=1 also copies the guest console to
# stderr. The guest has one CPU; WINVM_SMP=2 gives two (slower for Wine).
# Exit status: CMD's; 124 when the time limit hit; 125 when the guest failed
# (its console's end is printed); 2 for bad usage.
set -euo pipefail
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"

usage() { sed -n '5,12s/^# \{0,1\}//p' "$0" >&2; exit 2; }

cwd=
shares=()
read -r -a envnames <<<"${WINVM_ENV:-}"
limit=${WINVM_TIMEOUT:-80m}
while [ $# -gt 0 ]; do
  case $1 in
    --cwd) [ $# -ge 2 ] || usage; cwd=$2; shift 2 ;;
    --share) [ $# -ge 2 ] || usage; shares+=("$2"); shift 2 ;;
    --env) [ $# -ge 2 ] || usage; envnames+=("$2"); shift 2 ;;
    --timeout) [ $# -ge 2 ] || usage; limit=$2; shift 2 ;;
    --) shift; break ;;
    *) usage ;;
  esac
done
[ $# -gt 0 ] || usage
[[ $limit =~ ^[0-9]+(\.[0-9]+)?[smhd]?$ ]] || winvm_die "bad time limit: $limit"

# --- shares -----------------------------------------------------------------
top=$(git -C "$WINVM_HOME" rev-parse --show-toplevel 2>/dev/null) \
  || top=$(cd "$WINVM_HOME/../.." && pwd)
parent=$(dirname "$top")
# Sharing / would hide the guest's own system, and the guest mounts its own
# file systems on /tmp, /run and the like (a share there would not be
# mounted): fall back to the top-level itself.
case $parent in
  /|/tmp|/run|/dev|/dev/shm|/proc|/sys) parent=$top ;;
esac
IFS=: read -r -a extra <<<"${WINVM_SHARES:-}"
candidates=("$parent" "${shares[@]}" "${extra[@]}")

abs_dir() { # absolute path of an existing directory, symlinks kept as named
  [ -d "$1" ] || winvm_die "not a directory: $1"
  (cd "$1" && pwd)
}
under() { [ "$1" = "$2" ] || [[ $1 == "$2"/* ]]; } # under PATH DIR

norm=()
for d in "${candidates[@]}"; do
  [ -n "$d" ] || continue
  p=$(abs_dir "$d")
  # The guest's own /, /tmp, /run, /dev, /proc and /sys cannot be replaced
  # by a share (its init mounts them, and X needs a local /tmp).
  case $p in
    / | /tmp | /run | /run/* | /dev | /dev/* | /proc | /proc/* | /sys | /sys/*)
      winvm_die "cannot share $p: the guest has its own" ;;
  esac
  [[ $p != *$'\n'* ]] || winvm_die "a path with a newline cannot be shared"
  norm+=("$p")
done
# Shortest first, so a directory inside one already shared is skipped (the
# guest sees it through the outer share) and mounts go parents first.
mapfile -t sorted < <(for p in "${norm[@]}"; do printf '%d %s\n' "${#p}" "$p"; done \
  | sort -n -k1,1 | cut -d' ' -f2-)
kept=()
for p in "${sorted[@]}"; do
  for k in "${kept[@]}"; do under "$p" "$k" && continue 2; done
  kept+=("$p")
done

if [ -n "$cwd" ]; then
  cwd=$(abs_dir "$cwd")
else
  cwd=$PWD
  in_share=
  for k in "${kept[@]}"; do under "$cwd" "$k" && in_share=1; done
  [ -n "$in_share" ] || cwd=$top
fi
in_share=
for k in "${kept[@]}"; do under "$cwd" "$k" && in_share=1; done
[ -n "$in_share" ] || winvm_die "--cwd $cwd is not in a shared directory (use --share)"

# --- the image --------------------------------------------------------------
"$WINVM_HOME/setup.sh"
# A shared lock for the whole run: setup.sh deletes old images only when it
# can take this lock exclusively.
exec {lockfd}<"$WINVM_CACHE/lock"
flock -s "$lockfd"

# --- the job ----------------------------------------------------------------
job=$(mktemp -d "${TMPDIR:-/tmp}/winvm-job.XXXXXX")
WINVM_QEMU_PID=
cleanup() {
  [ -z "$WINVM_QEMU_PID" ] || kill "$WINVM_QEMU_PID" 2>/dev/null || true
  if [ -n "${WINVM_KEEP_JOB:-}" ]; then
    echo "winvm: job files kept in $job" >&2
  else
    rm -rf "$job"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

i=0
for k in "${kept[@]}"; do
  printf 'winvm%d %s\n' "$i" "$k"
  i=$((i + 1))
done >"$job/mounts"

{
  echo '# written by run.sh on the host'
  for name in $(compgen -e); do
    case $name in
      CI | DISPLAY | WINE* | GTEST_* | CTEST_*) ;;
      *) [[ " ${envnames[*]} " == *" $name "* ]] || continue ;;
    esac
    printf 'export %s=%q\n' "$name" "${!name}"
  done
  printf 'cd -- %q || exit 126\n' "$cwd"
  printf 'exec'
  printf ' %q' "$@"
  printf '\n'
} >"$job/job.sh"

t0=$(winvm_now)
rc=0
winvm_boot "$job" "$limit" on || rc=$?
[ -z "${WINVM_TIMING:-}" ] || echo "winvm: the VM ran $(winvm_since "$t0") s" >&2
exit "$rc"
