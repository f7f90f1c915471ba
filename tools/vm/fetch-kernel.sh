#!/usr/bin/env bash
# Unpacks Debian's stock kernel into CACHE without installing it on the host:
# apt-get download + dpkg-deb -x + depmod -b. Idempotent: a second run with
# the same cache only prints the result.
# Prints two lines: the kernel version and the unpacked root.
#   fetch-kernel.sh CACHE
set -euo pipefail
cache=${1:?usage: fetch-kernel.sh CACHE}
mkdir -p "$cache"
cache=$(cd "$cache" && pwd)
stamp="$cache/kernel.ready"

if [ ! -f "$stamp" ]; then
  debs="$cache/debs"
  root="$cache/kernel-root"
  rm -rf "$debs" "$root"
  mkdir -p "$debs"
  download() {
    # The package lists may be stale or missing on a fresh machine.
    (cd "$debs" && apt-get download -qq "$@" 2>/dev/null) && return 0
    apt-get update -qq
    (cd "$debs" && apt-get download -qq "$@")
  }
  download linux-image-amd64
  meta=$(ls "$debs"/linux-image-amd64_*.deb)
  # The meta package names the versioned kernel package it stands for.
  pkg=$(dpkg-deb -f "$meta" Depends | tr ',' '\n' | sed -n 's/^ *\(linux-image-[0-9][^ ]*\).*/\1/p' | head -n1)
  [ -n "$pkg" ] || { echo "fetch-kernel: no kernel package named by $meta" >&2; exit 1; }
  download "$pkg"
  mkdir -p "$root"
  dpkg-deb -x "$(ls "$debs"/"$pkg"_*.deb)" "$root"
  moddir=
  for d in "$root"/lib/modules/* "$root"/usr/lib/modules/*; do
    [ -d "$d" ] && { moddir=$d; break; }
  done
  [ -n "$moddir" ] || { echo "fetch-kernel: no modules in $pkg" >&2; exit 1; }
  ver=$(basename "$moddir")
  # depmod -b wants BASE/lib/modules/VERSION.
  if [ "$moddir" != "$root/lib/modules/$ver" ]; then
    mkdir -p "$root/lib/modules"
    ln -sfn "$moddir" "$root/lib/modules/$ver"
  fi
  depmod -b "$root" "$ver"
  [ -f "$root/boot/vmlinuz-$ver" ] || { echo "fetch-kernel: no vmlinuz-$ver" >&2; exit 1; }
  rm -rf "$debs"
  printf '%s\n%s\n' "$ver" "$root" > "$stamp"
fi
cat "$stamp"
