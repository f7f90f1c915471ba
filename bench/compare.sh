#!/usr/bin/env bash
# Ours side by side with the tools a user might take instead, on this machine,
# printed as one Markdown table:
#  - `tolvanex-cli image` against objcopy, srec_cat, python3-intelhex and
#    `wc -l` (the cost of just reading the text) on a generated 64 MiB HEX
#    file of 32-byte records that cycle over the image window. Runs are
#    paired (ours, then the other tool, again and again) and the ratio is the
#    median of the per-pair ratios, so that a machine whose speed drifts
#    still gives a fair ratio;
#  - the updater window's cold start under Xvfb, from exec until the end of
#    its first paint, the whole dialog drawn and handed to the X server,
#    against a bare Qt dialog built here and timed by the same report
#    (ui/qt/FirstPaintReport.h), paired the same way, on a session bus of
#    their own as on a desktop; with the processor time each has had by then
#    and the instructions each executes up to that paint (callgrind), which
#    a busy machine blurs less than the clock, or not at all;
#  - each one's peak memory (the kernel's maximum resident set).
# Times are whole processes, start-up included. Not a test: nothing here
# passes or fails on a time.
#
# Usage: bench/compare.sh [--runs N] [--window]
#   N pairs for the quick tools and the window (default 21); --window times
#   the window alone.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
runs=21
window_only=0
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    --window) window_only=1; shift ;;
    *) echo "usage: $0 [--runs N] [--window]" >&2; exit 2 ;;
  esac
done
slow_runs=$(( runs / 4 > 3 ? runs / 4 : 3 ))
py=/usr/bin/python3  # Debian's, which has the intelhex package

"$top/tools/install-deps.sh" build gui test bench

build="$top/build/compare"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLVANEX_BUILD_TESTS=OFF \
  -DTOLVANEX_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target tolvanex-cli tolvanex-updater >/dev/null
cli="$build/cli/tolvanex-cli"
updater="$build/app/tolvanex-updater"

work=$(mktemp -d)
xvfb_pid=
cleanup() {
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

cc -O2 -o "$work/pairs" "$top/bench/compare/pairs.c"
cc -O2 -o "$work/paint_watch" "$top/bench/compare/paint_watch.c"
# shellcheck disable=SC2046
g++ -O2 -std=c++17 -fPIC -I"$top" -o "$work/bare_dialog" "$top/bench/compare/bare_dialog.cpp" \
  $(pkg-config --cflags --libs Qt6Widgets)

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
if [ "$window_only" = 0 ]; then
# The file: 32-byte data records whose addresses cycle over 0x0000-0x3FFF,
# so later records overwrite earlier ones, then an end record.
hex="$work/big.hex"
"$py" - "$hex" <<'EOF'
import random, sys
size = 64 << 20
rnd = random.Random(1)
lines, total, address = [], 0, 0
while total + 76 <= size:
    rec = bytes([32, address >> 8, address & 0xFF, 0]) + rnd.randbytes(32)
    line = ':%s%02X\n' % (rec.hex().upper(), -sum(rec) & 0xFF)
    lines.append(line)
    total += len(line)
    address = (address + 32) % 0x4000
lines.append(':00000001FF\n')
with open(sys.argv[1], 'w') as f:
    f.write(''.join(lines))
EOF

# python3-intelhex refuses a byte set twice and has no switch for it. While
# it loads, the buffer answers its check with an empty dict's get (C speed),
# so later records win, as here; then the buffer is a plain dict again.
cat >"$work/intelhex_image.py" <<'EOF'
import sys
from intelhex import IntelHex

class LaterWins(dict):
    get = {}.get

ih = IntelHex()
ih._buf = LaterWins()
ih.loadhex(sys.argv[1])
ih._buf = dict(ih._buf)
ih.padding = 0xFF
with open(sys.argv[2], 'wb') as out:
    out.write(ih.tobinstr(start=0, size=0x4000))
EOF

ours=("$cli" image "$hex" -o "$work/ours.bin")
declare -A command=(
  [objcopy]="objcopy -I ihex -O binary --gap-fill 0xFF $hex $work/objcopy.bin"
  [srec_cat]="srec_cat -multiple $hex -Intel -fill 0xFF 0 0x4000 -crop 0 0x4000 -o $work/srec_cat.bin -Binary"
  [intelhex]="$py $work/intelhex_image.py $hex $work/intelhex.bin"
  [wc]="wc -l $hex"
)
declare -A count=([objcopy]=$runs [srec_cat]=$slow_runs [intelhex]=$slow_runs [wc]=$runs)
order=(objcopy srec_cat intelhex wc)

# Every tool must make the same image of the file, or the race means nothing.
"${ours[@]}"
for tool in objcopy srec_cat intelhex; do
  # shellcheck disable=SC2086
  ${command[$tool]} 2>/dev/null
  cmp -s "$work/ours.bin" "$work/$tool.bin" || { echo "$tool made another image" >&2; exit 1; }
done

for tool in "${order[@]}"; do
  echo "timing ours against $tool (${count[$tool]} pairs)" >&2
  # shellcheck disable=SC2086
  "$work/pairs" "${count[$tool]}" -- "${ours[@]}" -- ${command[$tool]} >"$work/$tool.times"
done

fi

# The window: a display of its own, whose number Xvfb writes once it is ready.
mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
read -r -t 30 display <"$work/display" || { cat "$work/xvfb.log" >&2; exit 1; }
echo "timing the window against a bare Qt dialog ($runs pairs)" >&2
export DISPLAY=":$display" QT_QPA_PLATFORM=xcb
# (The session bus's own complaint about its descriptor limit goes to bus.log.)
dbus-run-session -- "$work/paint_watch" "$runs" -- "$updater" -- "$work/bare_dialog" >"$work/window.times" \
  2>"$work/bus.log" || { cat "$work/bus.log" >&2; exit 1; }
load_after=$(cut -d' ' -f1-3 /proc/loadavg)
# One start of each under callgrind, counted up to the report of the first
# paint (the profile dumped there is FILE.1); paint_watch 0 runs each once.
echo "counting the instructions of both starts" >&2
callgrind=(valgrind -q --tool=callgrind '--dump-before=FirstPaintReport::Report*')
dbus-run-session -- "$work/paint_watch" 0 -- "${callgrind[@]}" --callgrind-out-file="$work/ours.callgrind" "$updater" \
  -- "${callgrind[@]}" --callgrind-out-file="$work/bare.callgrind" "$work/bare_dialog" \
  2>"$work/bus.log" || { cat "$work/bus.log" >&2; exit 1; }
unset DISPLAY QT_QPA_PLATFORM

cpu=$(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -n 1)
. /etc/os-release
echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, $cpu, $PRETTY_NAME; load average" \
  "$load_before before, $load_after after"
[ "$window_only" = 1 ] || echo "file: $(stat -c %s "$hex") bytes, $(wc -l <"$hex") lines"
echo
"$py" - "$work" "$window_only" <<'EOF'
import statistics, sys
work, window_only = sys.argv[1], sys.argv[2] == '1'

def rows(name):
    a, b = [], []
    for line in open(f'{work}/{name}.times'):
        f = line.split()
        if len(f) == 6 and f[5] != '0':
            sys.exit(f'{name}: a run ended with status {f[5]}')
        (a if f[0] == 'A' else b).append([float(x) for x in f[1:]])
    return a, b

def secs(t):
    return f'{t * 1000:.1f} ms' if t < 1 else f'{t:.2f} s'

def mib(kib):
    return f'{kib / 1024:.1f} MiB'

def reads(r):
    return f'ours {1 / r:.1f}× faster' if r < 1 else f'ours {r:.2f}× the time'

names = {
    'objcopy': '`objcopy -I ihex -O binary --gap-fill 0xFF`',
    'srec_cat': '`srec_cat -multiple … -fill 0xFF 0 0x4000`',
    'intelhex': 'python3-intelhex (`IntelHex.loadhex`, `tobinstr`)',
    'wc': '`wc -l` (reads the text, nothing more)',
}
if not window_only:
    print('| Program | Median time | Peak memory | Ours ÷ it, paired (median) | Pairs |')
    print('|---|---|---|---|---|')
    ours_time, ours_peak = [], []
    table = []
    for tool in ['objcopy', 'srec_cat', 'intelhex', 'wc']:
        a, b = rows(tool)
        ours_time += [r[0] for r in a]
        ours_peak += [r[3] for r in a]
        ratio = statistics.median(x[0] / y[0] for x, y in zip(a, b))
        table.append(f'| {names[tool]} | {secs(statistics.median(r[0] for r in b))} | '
                     f'{mib(max(r[3] for r in b))} | {ratio:.3f} ({reads(ratio)}) | {len(b)} |')
    print(f'| `tolvanex-cli image … -o …` (ours) | {secs(statistics.median(ours_time))} | '
          f'{mib(max(ours_peak))} | — | {len(ours_time)} |')
    print('\n'.join(table))
    print()

def instructions(name):
    for line in open(f'{work}/{name}.callgrind.1'):
        if line.startswith(('summary:', 'totals:')):
            return int(line.split()[1])
    sys.exit(f'{name}: no instruction count')

a, b = rows('window')

def paired(column):
    ratios = [x[column] / y[column] for x, y in zip(a, b)]
    q = statistics.quantiles(ratios, n=4)
    return f'{statistics.median(ratios):.3f} ({q[0]:.2f}–{q[2]:.2f})'

ours_ir, bare_ir = instructions('ours'), instructions('bare')
print('| Window, exec to the end of its first paint | Time, median | Processor time, median '
      '| Instructions (callgrind) | Peak memory | Pairs |')
print('|---|---|---|---|---|---|')
for name, runs, ir in (('`tolvanex-updater` (ours)', a, ours_ir), ('bare Qt dialog', b, bare_ir)):
    print(f'| {name} | {secs(statistics.median(r[0] for r in runs))} | '
          f'{secs(statistics.median(r[2] for r in runs))} | {ir / 1e6:.1f} M | {mib(max(r[1] for r in runs))} '
          f'| {len(runs)} |')
print(f'| ours ÷ bare, paired: median (middle half) | {paired(0)} | {paired(2)} | {ours_ir / bare_ir:.3f} | — | — |')
EOF
