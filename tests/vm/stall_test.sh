#!/bin/sh
# tools/vm/stall.sh under the shell that runs this (bash on the host, busybox
# sh as in the guest): a wait outlasts its quiet period while things move,
# and gives up, saying so, once they stop. A quiet period of 1 s keeps it short.
#   stall_test.sh STALL_SH
. "${1:?}"
stall_quiet=1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
check() {
  if [ "$2" = "$3" ]; then echo "ok: $1"; else echo "FAIL: $1: want '$2', got '$3'"; failed=1; fi
}
# moves N: a source that moves each time it is looked at, N times, then stops.
: > "$work/moves"
moves() { [ "$(wc -l < "$work/moves")" -ge "$1" ] || echo >> "$work/moves"; wc -l < "$work/moves"; }
moved() { [ "$(wc -l < "$work/moves")" -ge "$1" ]; }

# Moving for 1.5 s and more, beyond the quiet period: the wait lasts.
stall_until "the source" "moved 15" "moves 15" 2> "$work/said"
check "a moving wait outlasts the quiet period" "0 15" "$? $(wc -l < "$work/moves" | tr -d ' ')"

# A source that stops: the wait gives up and says why.
: > "$work/moves"
stall_until "the source" "false" "moves 3" 2> "$work/said"
check "a wait on a source that stops gives up, and says so" \
  "124 STALLED: no progress for 1 s while waiting for the source" "$? $(cat "$work/said")"

# stall_run: the command's own status, or 124 with the command ended.
stall_run "a command" "" sh -c 'exit 3'
check "stall_run: the command's status" 3 $?
# A length of its own, so that a sleeper of a test run beside is not taken for it.
sleeper=$((100000 + $$))
stall_run "a sleeper" "" sleep $sleeper 2> "$work/said"
check "stall_run: a silent command is stopped" "124 STALLED: no progress for 1 s while waiting for a sleeper" \
  "$? $(grep STALLED "$work/said")"
check "and gone" "" "$(pgrep -f "^sleep $sleeper\$" || true)"

# The outer limit holds even while things move.
: > "$work/moves"
stall_limit=1 stall_quiet=10
stall_until "the source" "false" "moves 1000" 2> "$work/said"
check "the limit" "124 STALLED: still waiting for the source after 1 s, the limit" "$? $(cat "$work/said")"
exit $failed
