# Shared by the browser scenarios: the host's root file system, shared
# read-only (9p), becomes a tree to chroot into with fresh proc, sys, dev,
# tmp and run, so that Chromium, node and the builds run from it; a second,
# writable share is its /mnt. The policy grants the controller to the page
# on http://127.0.0.1:8123 without a chooser, and refuses the chooser at
# once (headless, nobody could answer it).
# Kernel arguments: tvx_top (the sources), tvx_build (the native build
# folder), tvx_site (the site).
tvx_load uhid hid-generic 9p 9pnet_virtio virtio_pci
for arg in $(cat /proc/cmdline); do
  case "$arg" in tvx_top=*|tvx_build=*|tvx_site=*) eval "$arg" ;; esac
done
root=/host
mkdir -p $root
mount -t 9p -o trans=virtio,version=9p2000.L,ro,cache=loose,msize=262144 hostroot $root ||
  tvx_fail "host share" "9p mount failed"
# The host's tree as it is, before the fresh mounts below hide parts of it.
mkdir -p /hostview
mount -o bind $root /hostview
mount -t proc proc $root/proc
mount -t sysfs sysfs $root/sys
mount -t devtmpfs devtmpfs $root/dev
mkdir -p $root/dev/shm $root/dev/pts
mount -t tmpfs shm $root/dev/shm
mount -t devpts devpts $root/dev/pts
mount -t tmpfs tmp $root/tmp
mount -t tmpfs run $root/run
mount -t 9p -o trans=virtio,version=9p2000.L out $root/mnt || tvx_fail "output share" "9p mount failed"
mount -t tmpfs policies $root/etc/chromium
mkdir -p $root/etc/chromium/policies/managed
cat > $root/etc/chromium/policies/managed/tolvanex.json <<'EOF'
{"WebHidAllowDevicesForUrls": [{"devices": [{"vendor_id": 3727, "product_id": 12557}],
                                "urls": ["http://127.0.0.1:8123"]}],
 "DefaultWebHidGuardSetting": 2}
EOF
# A checkout or build under one of the folders made fresh above (a clone in
# /tmp, say) is shown again from the host's tree.
for dir in "$tvx_top" "$tvx_build" "$tvx_site"; do
  [ -n "$dir" ] && [ ! -e "$root$dir" ] || continue
  mkdir -p "$root$dir" && mount -o bind "/hostview$dir" "$root$dir" || tvx_fail "host share" "cannot show $dir"
done
ip link set lo up

# in_root CMD...: runs CMD in the host's tree.
in_root() { chroot $root /usr/bin/env -i HOME=/tmp PATH=/usr/bin:/bin:/usr/sbin:/sbin "$@"; }
