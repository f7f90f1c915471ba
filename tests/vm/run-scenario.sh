#!/usr/bin/env bash
# Boots the test VM for one scenario and checks its results.
#   run-scenario.sh IMAGE_DIR SCENARIO RESULTS [KERNEL_ARG]...
# The guest's waits last while what they wait for moves; TVX_VM_LIMIT (1800 s)
# bounds the whole run however busy it keeps.
set -uo pipefail
image=${1:?} scenario=${2:?} results=${3:?}
shift 3
top=$(cd "$(dirname "$0")/../.." && pwd)
start=$(date +%s%3N)
"$top/tools/vm/boot.sh" "$image" "$results" "${TVX_VM_LIMIT:-1800}" "tvx_scenario=$scenario" "$@"
rc=$?
wall_ms=$(( $(date +%s%3N) - start ))
tr -d '\r' < "$results" > "$results.txt" 2>/dev/null || : > "$results.txt"
cat "$results.txt"
echo "QEMU exit $rc, boot to result $((wall_ms / 1000)).$(printf %03d $((wall_ms % 1000))) s (host wall clock)"
fail() {
  echo "FAILED: $*"
  echo "--- guest console (last 40 lines) ---"
  tr -d '\r' < "$results.console" 2>/dev/null | tail -n 40
  exit 1
}
# A wait that stopped moving says so, apart from checks that failed.
stalled=$(grep -m 1 '^TVX STALLED: ' "$results.txt") && fail "${stalled#TVX }"
[ $rc -ne 124 ] || fail "the VM was stopped (boot.sh says why above)"
done_line=$(grep '^TVX DONE ' "$results.txt") || fail "no DONE line from the guest"
passed=$(echo "$done_line" | sed -n 's/.*pass=\([0-9]*\).*/\1/p')
failed=$(echo "$done_line" | sed -n 's/.*fail=\([0-9]*\).*/\1/p')
[ "$failed" = 0 ] || fail "$failed check(s) failed in the guest"
planned=$(echo "$done_line" | sed -n 's/.*plan=\([0-9]*\).*/\1/p')
[ "${passed:-0}" -gt 0 ] && [ "$passed" = "$planned" ] || fail "$passed checks passed, $planned planned"
echo "$passed checks passed in the guest"
