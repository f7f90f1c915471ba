#!/usr/bin/env bash
# tolvanex-updater started with TOLVANEX_FIRST_PAINT_FD, as bench/compare.sh
# starts it: one byte on that descriptor once its window has painted, the
# descriptor closed then, and the window still open.
# Usage: FirstPaint.sh EXE
set -euo pipefail
work=$(mktemp -d)
pid=
trap '[ -z "$pid" ] || kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
mkfifo "$work/paint"
TOLVANEX_FIRST_PAINT_FD=3 QT_QPA_PLATFORM=offscreen "$1" 3>"$work/paint" </dev/null &
pid=$!
exec 4<"$work/paint"
# A byte, or the end of the pipe if the program ends without one.
IFS= read -r -N 1 byte <&4 || { echo "no report of a first paint" >&2; exit 1; }
[ "$byte" = p ] || { echo "reported '$byte'" >&2; exit 1; }
if IFS= read -r -N 1 byte <&4; then
  echo "a second report: '$byte'" >&2
  exit 1
fi
kill -0 "$pid" || { echo "the program ended at its first paint" >&2; exit 1; }
