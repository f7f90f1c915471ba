#!/usr/bin/env bash
# Takes udevadm out of Debian's udev package into CACHE without installing
# it on the host (apt-get download + dpkg-deb -x), for a guest that needs
# device events: started under the name systemd-udevd, it is the daemon.
# Idempotent; prints the path of the copy.
#   fetch-udev.sh CACHE
set -euo pipefail
mkdir -p "${1:?usage: fetch-udev.sh CACHE}"
udevadm="$(cd "$1" && pwd)/udevadm"
if [ ! -x "$udevadm" ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  # The package lists may be stale or missing on a fresh machine.
  (cd "$work" && apt-get download -qq udev 2>/dev/null) ||
    { apt-get update -qq && (cd "$work" && apt-get download -qq udev); }
  dpkg-deb -x "$work"/udev_*.deb "$work/root"
  found=
  for f in "$work/root/bin/udevadm" "$work/root/usr/bin/udevadm"; do
    [ -f "$f" ] && { found=$f; break; }
  done
  [ -n "$found" ] || { echo "fetch-udev: no udevadm in the udev package" >&2; exit 1; }
  # It runs on the host's libraries (the guest's tree is the host's).
  missing=$(ldd "$found" | sed -n 's/^[[:space:]]*\([^ ]*\) => not found.*/\1/p')
  [ -z "$missing" ] || { echo "fetch-udev: udevadm needs $missing, missing on this machine" >&2; exit 1; }
  cp "$found" "$udevadm.tmp"
  mv "$udevadm.tmp" "$udevadm"
fi
echo "$udevadm"
