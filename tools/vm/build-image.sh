#!/usr/bin/env bash
# Builds a small VM image: Debian's stock kernel and an initramfs holding
# busybox, the asked-for kernel modules with their dependencies, and any
# programs (with the shared libraries they need) and files.
#
#   build-image.sh --out DIR --cache DIR [--module NAME]... [--bin SRC[:DEST]]...
#                  [--file SRC:DEST]... [--init FILE] [--udev]
#
#   --module NAME   a kernel module; in the guest `tvx_load NAME` (from
#                   /lib/tvx/init.sh) loads it with its dependencies in order
#   --bin SRC:DEST  a program; shared libraries from `ldd SRC` come along, so a
#                   dynamically linked program (e.g. a Qt one) runs too
#   --file SRC:DEST a file or a directory, copied as it is
#   --init FILE     the guest's /init (default: init next to this script)
#   --udev          Debian's udevadm (fetch-udev.sh) as /lib/tvx/udevadm,
#                   without its libraries: it runs in a chroot into the
#                   host's tree (tests/web/host-root.sh)
#
# DIR gets vmlinuz and initrd.cpio; boot them with boot.sh.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out= cache= init="$here/init" udev=0
modules=() bins=() files=()
while [ $# -gt 0 ]; do
  case "$1" in
    --out) out=$2; shift 2 ;;
    --cache) cache=$2; shift 2 ;;
    --module) modules+=("$2"); shift 2 ;;
    --bin) bins+=("$2"); shift 2 ;;
    --file) files+=("$2"); shift 2 ;;
    --init) init=$2; shift 2 ;;
    --udev) udev=1; shift ;;
    *) echo "build-image: unknown argument $1" >&2; exit 1 ;;
  esac
done
[ -n "$out" ] && [ -n "$cache" ] || { echo "build-image: --out and --cache are needed" >&2; exit 1; }

busybox=$(command -v busybox || true)
[ -n "$busybox" ] && ! ldd "$busybox" >/dev/null 2>&1 || {
  echo "build-image: a static busybox is needed: tools/install-deps.sh vm" >&2; exit 1; }

{ read -r kver; read -r kroot; } < <("$here/fetch-kernel.sh" "$cache")

mkdir -p "$out"
stage="$out/stage"
rm -rf "$stage"
mkdir -p "$stage"/{bin,sbin,etc,proc,sys,dev,tmp,run,lib/tvx/modules}

# Busybox and one link per applet.
cp "$busybox" "$stage/bin/busybox"
for applet in $("$busybox" --list); do
  [ -e "$stage/bin/$applet" ] || ln -s busybox "$stage/bin/$applet"
done

# Modules: keep each one's place in the tree and record the load order.
for m in "${modules[@]}"; do
  list="$stage/lib/tvx/modules/$m"
  : > "$list"
  while read -r verb path _; do
    [ "$verb" = insmod ] || continue
    rel=${path#"$kroot"/}
    mkdir -p "$stage/$(dirname "$rel")"
    cp "$path" "$stage/$rel"
    echo "/$rel" >> "$list"
  done < <(modprobe -d "$kroot" -S "$kver" --show-depends "$m")
  [ -s "$list" ] || { echo "build-image: module $m not found in $kver" >&2; exit 1; }
done

copy_with_libs() {
  local src=$1 dest=$2
  mkdir -p "$stage/$(dirname "$dest")"
  cp -L "$src" "$stage/$dest"
  # Static programs make ldd fail; that is fine, they need nothing more.
  local lib
  for lib in $(ldd "$src" 2>/dev/null | grep -o '/[^ ]*' || true); do
    if [ ! -e "$stage$lib" ]; then
      mkdir -p "$stage/$(dirname "$lib")"
      cp -L "$lib" "$stage$lib"
    fi
  done
}
for b in "${bins[@]}"; do
  src=${b%%:*}
  dest=${b#*:}
  [ "$dest" != "$b" ] || dest="/bin/$(basename "$src")"
  copy_with_libs "$src" "$dest"
done
for f in "${files[@]}"; do
  src=${f%%:*}
  dest=${f#*:}
  mkdir -p "$stage/$(dirname "$dest")"
  cp -a "$src" "$stage/$dest"
done

if [ $udev = 1 ]; then
  cp "$("$here/fetch-udev.sh" "$cache")" "$stage/lib/tvx/udevadm"
fi

cp "$init" "$stage/init"
chmod 755 "$stage/init"
cp "$here/init.sh" "$here/stall.sh" "$stage/lib/tvx/"
cp "$kroot/boot/vmlinuz-$kver" "$out/vmlinuz"
# Uncompressed: the emulated CPU unpacks it faster than it would inflate it.
(cd "$stage" && find . | LC_ALL=C sort | cpio -o -H newc --quiet -R 0:0) > "$out/initrd.cpio.tmp"
mv "$out/initrd.cpio.tmp" "$out/initrd.cpio"
rm -rf "$stage"
echo "build-image: $out (kernel $kver, initramfs $(du -k "$out/initrd.cpio" | cut -f1) KiB)"
