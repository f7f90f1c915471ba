# The real CLI against the virtual controller on uhid.
tvx_plan 23
. /scenario/common.sh
tvx_load uhid hid-generic

flash
expect_flash "no controller" 3 "Mando no conectado"

start_controller /tmp/rx-full
flash
expect_flash "uhid download" 0 "Actualización OK!!!!"
stop_controller $vc_pid
tvx_expect_same "uhid download: reports received in order" /tmp/expect9 /tmp/rx-full
tvx_say "TIME uhid-flash ms=$flash_ms"

start_controller /tmp/rx-bare
bare=$(vmtool bare "$node" /tmp/image.bin)
stop_controller $vc_pid
tvx_expect_same "uhid bare loop: reports received" /tmp/expect9 /tmp/rx-bare
tvx_say "TIME uhid-bare ms=$(echo "$bare" | sed -n 's/.* in \(.*\) ms$/\1/p')"

# Two controllers: the one earlier in the list gets the image, the other nothing.
start_controller /tmp/rx-first
first=$vc_pid
start_controller /tmp/rx-second
flash
expect_flash "two controllers" 0 "Actualización OK!!!!"
stop_controller $vc_pid
stop_controller $first
tvx_expect_same "two controllers: the first receives all" /tmp/expect9 /tmp/rx-first
tvx_expect "two controllers: the second receives nothing" 0 "$(wc -l < /tmp/rx-second)"

# Unplugged mid-transfer: after the DOWNLOAD command alone, and after 1000 reports.
for k in 1 1000; do
  start_controller /tmp/rx-unplug-$k --vanish-after $k
  flash
  expect_flash "uhid unplug after $k" 4 "Error sucedido!"
  # Gone by now unless reports went missing; then the count below tells.
  kill -TERM $vc_pid 2>/dev/null
  wait $vc_pid
  tvx_expect "uhid unplug after $k: controller exit" 0 $?
  vc_count=$((vc_count - 1))
  head -n $k /tmp/expect9 > /tmp/want-$k
  tvx_expect_same "uhid unplug after $k: reports received" /tmp/want-$k /tmp/rx-unplug-$k
done
