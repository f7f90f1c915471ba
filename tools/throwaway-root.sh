#!/usr/bin/env bash
# Runs COMMAND as root in a throwaway copy of this machine, so that a test may
# install, run and purge packages without touching the host:
#
#   tools/throwaway-root.sh COMMAND [ARG]...
#
# COMMAND runs chrooted in a private mount and PID namespace whose root is an
# overlay over the root file system (and over every other disk file system
# mounted below it, such as a separate /home or /var, and over /tmp, so that a
# checkout there stays in sight), with fresh /proc and /run, the host's /dev and
# a read-only /sys. Every write lands in a tmpfs
# that exists only in the namespace: when COMMAND ends, the namespace, its
# processes and all that they changed are gone. Its status is COMMAND's.
set -euo pipefail

if [ "${1:-}" != --inside ]; then
  [ $# -gt 0 ] || { echo "usage: $0 COMMAND [ARG]..." >&2; exit 2; }
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  # The mount point of the namespace's tmpfs; on the host it stays empty.
  scratch=$(mktemp -d "${TMPDIR:-/tmp}/tolvanex-root.XXXXXX")
  status=0
  "${sudo_cmd[@]}" unshare --mount --pid --fork --propagation private -- \
    bash "$(cd "$(dirname "$0")" && pwd)/$(basename "$0")" --inside "$scratch" "$@" || status=$?
  rmdir "$scratch"
  exit "$status"
fi

scratch=$2
shift 2
fail() { echo "throwaway-root: $*" >&2; exit 125; }
mount -t tmpfs -o mode=0755 tolvanex-root "$scratch" || fail "no tmpfs (mount namespaces allowed here?)"
root=$scratch/root
mkdir "$root"
layers=0
overlay() {  # overlay DIR: the host's DIR, seen at the same place in the root, writes kept aside
  layers=$((layers + 1))
  local upper=$scratch/layers/$layers
  mkdir -p "$upper/upper" "$upper/work"
  mount -t overlay tolvanex-root -o "lowerdir=$1,upperdir=$upper/upper,workdir=$upper/work" "$root${1%/}" ||
    fail "cannot lay an overlay over $1"
}
overlay /
# An overlay shows one file system, not what is mounted in it.
while read -r target fstype; do
  printf -v target "%b" "$target"  # findmnt writes a blank as \x20
  case $target in
    / | /proc | /proc/* | /sys | /sys/* | /dev | /dev/* | /run | /run/* | "$scratch" | "$scratch"/*) continue ;;
  esac
  case $fstype in
    ext2 | ext3 | ext4 | xfs | btrfs | f2fs | jfs | zfs | overlay) overlay "$target" ;;
    tmpfs) if [ "$target" = /tmp ]; then overlay /tmp; fi ;;
  esac
done < <(findmnt -rn -o TARGET,FSTYPE)

mount -t proc proc "$root/proc"
mount --rbind /dev "$root/dev"
mount -t sysfs -o ro,nosuid,nodev,noexec sysfs "$root/sys"
# No sockets of the host's daemons (udev, D-Bus): they would act on the host.
mount -t tmpfs -o mode=0755 run "$root/run"
exec chroot "$root" "$@"
