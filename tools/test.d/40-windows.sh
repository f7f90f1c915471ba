#!/usr/bin/env bash
# The Windows build: cross-compiled with mingw-w64, its tests run under wine
# without a display. The real SetupAPI/HID path runs against wine's own
# virtual HID devices.
set -euo pipefail
top=${TOLVANEX_TOP:?}
build="$top/build/windows"
cmake -S "$top" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-mingw64.cmake" \
  -DTOLVANEX_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)"

export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
# No Mono or Gecko: nothing here needs them, and their installers want a window.
export WINEDLLOVERRIDES="mscoree,mshtml="
export HOME=${HOME:-$build}
unset DISPLAY WAYLAND_DISPLAY

# A prefix that has not fully booted lists none or only some of the HID devices.
if [ ! -f "$WINEPREFIX/.booted" ]; then
  echo "Preparing the wine prefix $WINEPREFIX"
  timeout 600 wineboot -i </dev/null >"$build/wineboot.log" 2>&1 || { cat "$build/wineboot.log"; exit 1; }
  timeout 600 wineserver -w
  touch "$WINEPREFIX/.booted"
fi

# One server for the whole run, its output away from CTest's pipes, which
# wine's background processes would otherwise hold open.
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
# One left over from a run that was cut short goes first, wholly.
wineserver -k >/dev/null 2>&1 || true
wineserver -w >/dev/null 2>&1 || true
wineserver -p </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1

cd "$build"
# No test waits on a fixed time; this only bounds one that keeps busy for ever.
ctest --output-on-failure -j2 --timeout 1800 </dev/null
