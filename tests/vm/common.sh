# Shared by the guest scenarios: the expected report streams and a timed run
# of the real CLI, stopped only when it stops moving.
hex=/data/sample.hex
tolvanex-cli image "$hex" -o /tmp/image.bin
# One line per report: the DOWNLOAD command, then 8 image bytes per report.
{ echo 444f574e4c4f4144; hexdump -v -e '8/1 "%02x" "\n"' /tmp/image.bin; } > /tmp/expect8
# The same with the report ID byte in front, as uhid hands reports over.
sed 's/^/00/' /tmp/expect8 > /tmp/expect9
tvx_expect "expected stream has 2049 reports" 2049 "$(wc -l < /tmp/expect9)"

# flash: runs `tolvanex-cli flash`; sets flash_rc, flash_out (the result line:
# on stdout after a success, on stderr otherwise) and flash_ms.
flash() {
  stall_run "tolvanex-cli flash" "$tvx_files" vmtool time tolvanex-cli flash "$hex" > /tmp/flash.out 2> /tmp/flash.err
  flash_rc=$?
  flash_out=$(cat /tmp/flash.out; grep -x -e 'Mando no conectado' -e 'Error sucedido!' /tmp/flash.err)
  flash_ms=$(sed -n 's/^time: \(.*\) ms$/\1/p' /tmp/flash.err)
}

# expect_flash NAME RC MESSAGE
expect_flash() {
  tvx_expect "$1: exit code" "$2" "$flash_rc"
  tvx_expect "$1: message" "$3" "$flash_out"
}

# The virtual controller on uhid (scenarios that load uhid use these).
# start_controller OUT [ARGS]: starts one more virtual controller; sets
# vc_pid and node (the newest controller's hidraw node).
vc_count=0
start_controller() {
  local out=$1
  shift
  virtual-controller -q -o "$out" "$@" &
  vc_pid=$!
  vc_count=$((vc_count + 1))
  stall_until "the hidraw node of controller $vc_count" "vmtool wait-hidraw $vc_count 0 > /tmp/nodes 2> /dev/null"
  node=$(tail -n 1 /tmp/nodes)
}
# stop_controller PID: SIGTERM, then its exit code must be 0.
stop_controller() {
  kill -TERM "$1"
  stall_wait "controller $1 to stop" "" "$1"
  tvx_expect "controller $1 stops cleanly" 0 $?
  vc_count=$((vc_count - 1))
}
