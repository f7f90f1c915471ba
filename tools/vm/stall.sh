# Waits that last as long as what they wait for keeps moving, instead of a
# fixed time that a busy machine overruns. POSIX sh, sourced by bash on the
# host and by busybox sh in the VM guest.
#
# stall_until WHAT DONE [PROGRESS]
#   Runs the command line DONE again and again until it succeeds (status 0).
#   The command line PROGRESS prints something that changes while the thing
#   waited for moves (a file's size, a count); without it only the start of
#   the wait counts. After stall_quiet seconds (60) without a change, or
#   stall_limit seconds in all (0: no limit), it calls stall_report with why
#   and returns 124.
# stall_run WHAT PROGRESS CMD [ARG]...
#   Runs CMD and waits for it the same way; CMD's exit status, or 124 once the
#   wait gave up (CMD then gets SIGTERM, and SIGKILL if that does not end it).
# stall_wait WHAT PROGRESS PID
#   The same for a job already started in the background (`CMD & pid=$!`).
# stall_report WHY: prints "STALLED: WHY" on stderr (a caller may redefine it).
# stall_moving WHAT: called at most every stall_quiet/6 seconds while the
#   thing moves (nothing by default; the guest shows it on its console, which
#   the host watches in turn).
stall_quiet=${stall_quiet:-60}
stall_limit=${stall_limit:-0}
stall_poll=${stall_poll:-0.1}

stall_report() { echo "STALLED: $1" >&2; }
stall_moving() { :; }

# Hundredths of a second since boot, without a process of its own.
stall_now() {
  read -r stall_now _ < /proc/uptime
  stall_now=${stall_now%.*}${stall_now#*.}
  stall_now=${stall_now#0}
  stall_now=${stall_now#0}
}

stall_until() {
  local what=$1 ready=$2 progress=${3:-} last seen start now since told
  last=$(eval "$progress" 2>/dev/null) || true
  stall_now
  start=$stall_now since=$stall_now told=$stall_now
  while ! eval "$ready"; do
    stall_now
    now=$stall_now
    if [ -n "$progress" ]; then
      seen=$(eval "$progress" 2>/dev/null) || true
      if [ "$seen" != "$last" ]; then
        last=$seen since=$now
        if [ $((now - told)) -ge $((stall_quiet * 100 / 6)) ]; then
          told=$now
          stall_moving "$what"
        fi
      fi
    fi
    if [ $((now - since)) -ge $((stall_quiet * 100)) ]; then
      stall_report "no progress for $stall_quiet s while waiting for $what"
      return 124
    fi
    if [ "$stall_limit" -gt 0 ] && [ $((now - start)) -ge $((stall_limit * 100)) ]; then
      stall_report "still waiting for $what after $stall_limit s, the limit"
      return 124
    fi
    sleep "$stall_poll"
  done
}

stall_run() {
  local what=$1 progress=$2
  shift 2
  "$@" &
  stall_wait "$what" "$progress" $!
}

stall_wait() {
  local what=$1 progress=$2 pid=$3 gave_up rc=0
  gave_up=$(mktemp -u)
  # The watcher runs beside, while `wait` reaps the job the moment it ends.
  (
    stall_until "$what" "! kill -0 $pid 2>/dev/null" "$progress" && exit 0
    : > "$gave_up"
    kill -TERM "$pid" 2>/dev/null || true
    stall_quiet=10 stall_limit=0
    stall_report() { kill -KILL "$pid" 2>/dev/null || true; }
    stall_until "$what to end" "! kill -0 $pid 2>/dev/null" || true
  ) &
  wait "$pid" || rc=$?
  wait $! || true
  if [ -e "$gave_up" ]; then
    rm -f "$gave_up"
    return 124
  fi
  return $rc
}
