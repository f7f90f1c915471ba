#!/usr/bin/env bash
# How `tolvanex-cli flash --all` scales: one VM run (tests/vm/scale.sh) times
# it for 1, 2, 4 and 8 controllers, each a USB gadget on its own dummy_hcd
# bus whose side takes one report per millisecond, as full-speed hardware
# does; the rounds (1, 2, 4, 8) repeat RUNS times, interleaved, so that a
# drift of the machine's speed touches every count alike. Beside each, the
# floor that the emulated machine sets: as many plain writer processes at
# once (`vmtool bare`, no tool around them). Prints one Markdown table: each
# count's median wall time, its ratio to one controller's, and the same for
# the floor, and each round's time over its floor's. Not a test: nothing
# depends on a time.
#   bench/multi-scale.sh [RUNS]      (default 5; TVX_VM_SMP=N gives the guest N processors)
# Needs the native build's VM image: `ctest --test-dir build/native -R vm.image`.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${TOLVANEX_BUILD:-$top/build/native}
image="$build/tests/vm/image"
runs=${1:-5}
[ -f "$image/initrd.cpio" ] || ctest --test-dir "$build" -R vm.image --output-on-failure >&2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
limit=$((120 + 120 * runs))
TVX_VM_QUIET=$limit "$top/tools/vm/boot.sh" "$image" "$out/scale" "$limit" tvx_scenario=scale "tvx_runs=$runs" \
  "tvx_watchdog=$((limit - 10))" || true
tr -d '\r' < "$out/scale" > "$out/scale.txt"
if ! grep -q '^TVX DONE .* fail=0 ' "$out/scale.txt"; then
  grep -e '^TVX FAIL' -e '^TVX DONE' "$out/scale.txt" >&2 || echo "multi-scale: the VM gave no result" >&2
  tail -n 30 "$out/scale.console" | tr -d '\r' >&2
  exit 1
fi
grep '^TVX SCALE ' "$out/scale.txt" |
  sed 's/^TVX SCALE n=\([0-9]*\) run=[0-9]* ms=\([0-9.]*\) bare=\([0-9.]*\)$/\1 \2 \3/' |
  awk -v runs="$runs" -v smp="${TVX_VM_SMP:-1}" '
    { k[$1]++; t[$1, k[$1]] = $2; b[$1, k[$1]] = $3; r[$1, k[$1]] = $2 / $3 }
    function median(x, n,   i, j, v, m, a) {
      m = k[n]
      for (i = 1; i <= m; i++) a[i] = (x == "t" ? t[n, i] : x == "b" ? b[n, i] : r[n, i])
      for (i = 2; i <= m; i++) { v = a[i]; for (j = i - 1; j >= 1 && a[j] > v; j--) a[j + 1] = a[j]; a[j + 1] = v }
      return m % 2 ? a[(m + 1) / 2] : (a[m / 2] + a[m / 2 + 1]) / 2
    }
    END {
      printf "| Controllers | `flash --all`, median | Ratio to one | Floor: plain writers at once, median | Its ratio to one | `flash --all` ÷ floor, median of the rounds | Runs |\n"
      printf "|---|---|---|---|---|---|---|\n"
      one = median("t", 1); bone = median("b", 1)
      for (n = 1; n <= 8; n *= 2)
        printf "| %d | %.0f ms | %.2f | %.0f ms | %.2f | %.3f | %d |\n", n, median("t", n), median("t", n) / one,
          median("b", n), median("b", n) / bone, median("r", n), k[n]
      printf "\n(QEMU TCG guest with %d processor(s), %d interleaved rounds; at one report per millisecond a controller needs 2,049 ms at least.)\n", smp, runs
    }'
