#!/usr/bin/env bash
# Unpacks Debian's udev into CACHE without installing it on the host
# (apt-get download + dpkg-deb -x), for a guest that needs device events.
# Idempotent: a second run with the same cache only prints the result.
# Prints the path of the unpacked udevadm, which is also systemd-udevd when
# started under that name.
#   fetch-udev.sh CACHE
set -euo pipefail
cache=${1:?usage: fetch-udev.sh CACHE}
mkdir -p "$cache"
cache=$(cd "$cache" && pwd)
stamp="$cache/udev.ready"

if [ ! -f "$stamp" ]; then
  debs="$cache/udev-debs"
  root="$cache/udev-root"
  rm -rf "$debs" "$root"
  mkdir -p "$debs"
  # The package lists may be stale or missing on a fresh machine.
  (cd "$debs" && apt-get download -qq udev 2>/dev/null) ||
    { apt-get update -qq && (cd "$debs" && apt-get download -qq udev); }
  dpkg-deb -x "$(ls "$debs"/udev_*.deb)" "$root"
  udevadm=
  for f in "$root/bin/udevadm" "$root/usr/bin/udevadm"; do
    [ -f "$f" ] && { udevadm=$f; break; }
  done
  [ -n "$udevadm" ] || { echo "fetch-udev: no udevadm in the udev package" >&2; exit 1; }
  # It runs on the host's libraries (the guest's tree is the host's).
  missing=$(ldd "$udevadm" | sed -n 's/^[[:space:]]*\([^ ]*\) => not found.*/\1/p')
  [ -z "$missing" ] || { echo "fetch-udev: udevadm needs $missing, missing on this machine" >&2; exit 1; }
  rm -rf "$debs"
  echo "$udevadm" > "$stamp"
fi
cat "$stamp"
