#!/usr/bin/env bash
# tolvanex-updater started with TOLVANEX_FIRST_PAINT_FD, as bench/compare.sh
# starts it: one byte on that descriptor once its window has painted, the
# descriptor closed then, and the window still open. Started as sudo and su
# leave it (no XDG_RUNTIME_DIR, or one that is not this user's), it says
# nothing on the terminal.
# Usage: FirstPaint.sh EXE
set -euo pipefail
exe=$1
work=$(mktemp -d)
pid=
trap '[ -z "$pid" ] || kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
mkdir -m 755 "$work/runtime"
for runtime in unset "$work/runtime"; do
  mkfifo "$work/paint"
  if [ "$runtime" = unset ]; then set -- -u XDG_RUNTIME_DIR; else set -- XDG_RUNTIME_DIR="$runtime"; fi
  env "$@" TOLVANEX_FIRST_PAINT_FD=3 QT_QPA_PLATFORM=offscreen "$exe" 3>"$work/paint" </dev/null 2>"$work/err" &
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
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  pid=
  exec 4<&-
  rm "$work/paint"
  [ ! -s "$work/err" ] || { echo "XDG_RUNTIME_DIR $runtime: on stderr:" >&2; cat "$work/err" >&2; exit 1; }
done
