# Helpers for guest scenarios: result lines and module loading.
# Every result line starts with "TVX " on the second serial port (the host
# reads it from a file), so kernel messages on the console never mix in.
tvx_out=/dev/ttyS1
[ -c "$tvx_out" ] || tvx_out=/dev/console
tvx_passed=0
tvx_failed=0
tvx_planned=0
# Waits last while things move (stall.sh); tvx_quiet=SECONDS on the kernel
# command line sets how long nothing may move (60).
stall_quiet=${tvx_quiet:-60}
. /lib/tvx/stall.sh
# What the scenarios write lands in /tmp: a wait's usual sign of progress.
tvx_files='ls -lnR /tmp'

# tvx_plan N: the scenario makes N checks; fewer means it stopped early.
tvx_plan() { tvx_planned=$1; }

tvx_say() { echo "TVX $*" > "$tvx_out"; }
tvx_pass() { tvx_passed=$((tvx_passed + 1)); tvx_say "PASS $1"; }
tvx_fail() { tvx_failed=$((tvx_failed + 1)); tvx_say "FAIL $1: $2"; }

# tvx_expect NAME WANT GOT
tvx_expect() {
  if [ "$2" = "$3" ]; then tvx_pass "$1"; else tvx_fail "$1" "want '$2', got '$3'"; fi
}

# tvx_expect_same NAME WANT_FILE GOT_FILE: the files hold the same lines.
tvx_expect_same() {
  if cmp -s "$2" "$3"; then
    tvx_pass "$1"
  else
    tvx_fail "$1" "$(wc -l < "$3") lines received, $(wc -l < "$2") expected; first difference: $(diff "$2" "$3" | grep '^[-+][^-+]' | head -n 2 | tr '\n' ' ')"
  fi
}

# tvx_load NAME...: loads kernel modules with their dependencies.
tvx_load() {
  local m p name
  for m in "$@"; do
    for p in $(cat "/lib/tvx/modules/$m"); do
      name=$(basename "$p" .ko | tr - _)
      [ -d "/sys/module/$name" ] || insmod "$p" || tvx_fail "load $m" "insmod $p failed"
    done
  done
}

# tvx_load_with NAME ARG...: loads a kernel module's dependencies, then the
# module itself with ARGs (its parameters).
tvx_load_with() {
  local m=$1 p name last
  shift
  last=$(tail -n 1 "/lib/tvx/modules/$m")
  for p in $(cat "/lib/tvx/modules/$m"); do
    name=$(basename "$p" .ko | tr - _)
    [ -d "/sys/module/$name" ] && continue
    if [ "$p" = "$last" ]; then insmod "$p" "$@"; else insmod "$p"; fi || tvx_fail "load $m" "insmod $p failed"
  done
}
