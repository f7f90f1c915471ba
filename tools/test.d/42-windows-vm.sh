#!/usr/bin/env bash
# The Windows programs on the real Linux kernel: tolvanex-cli.exe and the
# updater window under wine inside the test VM, against the virtual
# controller on uhid through winebus's hidraw bus (tests/windows/vm/wine.sh).
# Builds what it needs when missing: the Windows programs, the virtual
# controller, the kernel (fetched as the vm tests fetch it), the image and a
# wine prefix.
set -euo pipefail
top=${TOLVANEX_TOP:?}
win="$top/build/windows"
native="$top/build/native"
# The same settings as the stages that own these build folders.
cmake -S "$top" -B "$win" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-mingw64.cmake" \
  -DTOLVANEX_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build "$win" -j"$(nproc)" --target tolvanex-cli tolvanex-updater winprobe >/dev/null
cmake -S "$top" -B "$native" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build "$native" -j"$(nproc)" --target virtual-controller vmtool tolvanex-cli-static >/dev/null

# The prefix, made here where wine starts in seconds: winebus starts its
# hidraw bus only when "Enable SDL" is 0. It is never started on this machine
# again with that value; the guest writes only to a layer of its own.
prefix="$win/vm-prefix"
if [ ! -f "$prefix/.ready" ]; then
  echo "Preparing the wine prefix $prefix"
  rm -rf "$prefix"
  (
    export WINEPREFIX="$prefix" WINEDEBUG=-all HOME="$win/vm-home"
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    unset DISPLAY WAYLAND_DISPLAY
    mkdir -p "$HOME"
    timeout 600 wineboot -i </dev/null >"$win/vm-wineboot.log" 2>&1 || { cat "$win/vm-wineboot.log"; exit 1; }
    wine reg add 'HKLM\System\CurrentControlSet\Services\winebus' /v 'Enable SDL' /t REG_DWORD /d 0 /f \
      </dev/null >/dev/null 2>&1
    timeout 600 wineserver -w
  )
  grep -q '"Enable SDL"=dword:00000000' "$prefix/system.reg" || { echo "FAIL: Enable SDL not set"; exit 1; }
  touch "$prefix/.ready"
fi

image="$win/vm-image"
"$top/tools/vm/build-image.sh" --out "$image" --cache "$native/vm-cache" \
  --module uhid --module hid-generic --module 9p --module 9pnet_virtio --module virtio_pci --module overlay \
  --bin "$native/tests/vm/vmtool:/bin/vmtool" --bin "$native/tests/vm/tolvanex-cli-static:/bin/tolvanex-cli" \
  --file "$top/tests/web/host-root.sh:/scenario/host-root.sh" --file "$top/tests/windows/vm/wine.sh:/scenario/wine.sh" \
  --file "$top/examples/sample.hex:/data/sample.hex"

# Screenshots of a failing window land in vm-out. Two gigabytes: wine, the X
# server and the controllers. The guest's watchdog is the outer bound; a step
# inside fails once nothing has moved for 150 s (its own waits say why after
# 60), and the VM is stopped once its ports stay silent longer than that.
out="$win/vm-out"
rm -rf "$out"
mkdir -p "$out"
TVX_VM_HOST_ROOT=1 TVX_VM_OUT="$out" TVX_VM_MEMORY=2048 TVX_VM_LIMIT=1500 TVX_VM_QUIET=240 \
  "$top/tests/vm/run-scenario.sh" "$image" wine "$win/vm-wine.results" \
  tvx_top="$top" tvx_build="$native" tvx_win="$win" tvx_prefix="$prefix" tvx_watchdog=1440
