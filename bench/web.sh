#!/usr/bin/env bash
# Measures the updater page (not a test: nothing depends on a time): the
# size a browser downloads (gzipped), the time from opening the page to the
# checksum of examples/sample.hex (headless Chromium on this machine), and
# in the VM against the virtual controller, the 2,048 reports of the page's
# update against a bare JavaScript loop of sendReport in the same browser,
# paired. Prints a Markdown table.
#   bench/web.sh [PAIRS]
# TVX_PROFILE=1: the first pair also under the renderer's sampling profiler; its
# summary lines (PROFILE_*) follow the table.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
pairs=${1:-5}
"$top/tools/install-deps.sh" build web vm
site="$top/build/web/site"
"$top/tools/build-web.sh" --no-install "$site" >/dev/null
native="$top/build/native"
cmake -S "$top" -B "$native" >/dev/null
cmake --build "$native" -j2 --target tolvanex-cli virtual-controller vmtool >/dev/null

bytes=0 gz=0
for f in "$site"/*; do
  bytes=$((bytes + $(stat -c %s "$f")))
  gz=$((gz + $(gzip -9 -c "$f" | wc -c)))
done
open=$(node "$top/bench/web/measure.mjs" open --site "$site" --hex "$top/examples/sample.hex" --port 0)
standin=$(node "$top/bench/web/measure.mjs" standin --site "$site" --hex "$top/examples/sample.hex" --pairs "$pairs" --port 0)

work="$top/build/web-bench"
mkdir -p "$work/out"
"$top/tools/vm/build-image.sh" --out "$work/image" --cache "$native/vm-cache" \
  --module uhid --module hid-generic --module 9p --module 9pnet_virtio --module virtio_pci \
  --bin "$native/tests/vm/vmtool:/bin/vmtool" \
  --file "$top/tests/web/host-root.sh:/scenario/host-root.sh" \
  --file "$top/bench/web/measure.sh:/scenario/measure.sh" >/dev/null
# A measure says nothing until it ends: the VM may stay quiet that long.
TVX_VM_LIMIT=$((120 + pairs * 300)) TVX_VM_QUIET=$((120 + pairs * 300)) TVX_VM_MEMORY=2048 TVX_VM_SMP=2 TVX_VM_HOST_ROOT=1 TVX_VM_OUT="$work/out" \
  "$top/tests/vm/run-scenario.sh" "$work/image" measure "$work/measure.results" \
  "tvx_top=$top" "tvx_build=$native" "tvx_site=$site" ${TVX_PROFILE:+tvx_profile=1} "tvx_pairs=$pairs" "tvx_watchdog=$((100 + pairs * 300))" \
  > "$work/measure.log" || { cat "$work/measure.log"; exit 1; }
get() { sed -n "s/^TVX $1 //p" "$work/measure.results.txt"; }
local_get() { echo "$standin" | sed -n "s/^$1 //p"; }
value() { echo "$1" | tr ' ' '\n' | sed -n "s/^$2=//p"; }

echo "| What | Figure |"
echo "|---|---|"
echo "| The page's files (index.html, stylesheet, .js, .wasm, icon) | $((bytes / 1024)) KiB; $((gz / 1024)) KiB gzipped (gzip -9) |"
echo "| Opening the page to the checksum of examples/sample.hex (headless Chromium, cache off) | $(value "$open" median) ms median of $(value "$open" runs) (min $(value "$open" min), max $(value "$open" max)) |"
echo "| 2,048 reports, the page's update (C++ in WebAssembly, Asyncify) | $(value "$(get REPORTS_OURS_MS)" median) ms median |"
echo "| 2,048 reports, a bare loop of sendReport, same browser and VM run | $(value "$(get REPORTS_BARE_MS)" median) ms median |"
echo "| Page ÷ bare loop, paired (median of $pairs pairs) | $(value "$(get REPORTS_RATIO)" median) (each pair: $(value "$(get REPORTS_RATIO)" all)) |"
echo "| The bare loop moving the page's bar as the page moves it | $(value "$(get REPORTS_BARE_DRAWN_MS)" median) ms median |"
echo "| Page ÷ that loop, paired | $(value "$(get REPORTS_RATIO_DRAWN)" median) (each pair: $(value "$(get REPORTS_RATIO_DRAWN)" all)) |"
echo "| On this machine, against a stand-in device that takes each report at once: page, bare loop, page's extra per report | $(value "$(local_get REPORTS_OURS_MS)" median) ms, $(value "$(local_get REPORTS_BARE_MS)" median) ms, $(value "$(local_get REPORTS_EXTRA_US)" median) µs |"
grep '^TVX PROFILE_' "$work/measure.results.txt" | sed 's/^TVX //' || true
