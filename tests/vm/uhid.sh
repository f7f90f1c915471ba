# The real CLI against the virtual controller on uhid.
tvx_plan 30
. /scenario/common.sh
tvx_load uhid hid-generic
# The system log, where the link's diagnostic lines go (debug priority included).
syslogd -n -O /tmp/messages -l 8 &
syslog_pid=$!
for i in 1 2 3 4 5 6 7 8 9 10; do [ -S /dev/log ] && break; sleep 0.2; done

flash
expect_flash "no controller" 3 "Mando no conectado"
tvx_expect "no controller: nothing on stderr" "" "$(grep -v '^time: ' /tmp/flash.err)"
sleep 1
tvx_expect "no controller: the diagnostic line is in the system log" 1 \
  "$(grep -c 'Request interface data error' /tmp/messages)"
kill $syslog_pid

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

# Two updates at once against one slow controller (0.5 ms per report): the
# second starts while the first is sending. Exactly one sends, and the
# controller sees one whole stream, in order.
echo -1 > /proc/sys/kernel/sched_rt_runtime_us  # the slow controller spins at real-time priority
start_controller /tmp/rx-both --delay-us 500
tolvanex-cli flash "$hex" > /tmp/first.out 2> /tmp/first.err &
first=$!
# The second starts once the first has sent 100 reports.
for i in $(seq 200); do [ "$(wc -l < /tmp/rx-both)" -ge 100 ] && break; sleep 0.05; done
tolvanex-cli flash "$hex" > /tmp/second.out 2> /tmp/second.err
second_rc=$?
wait $first
first_rc=$?
stop_controller $vc_pid
tvx_expect "two at once: the first sends" "0 Actualización OK!!!!" "$first_rc $(cat /tmp/first.out)"
tvx_expect "two at once: the second finds it busy" "3 Mando no conectado" "$second_rc $(cat /tmp/second.out)"
tvx_expect "two at once: the second says why" 1 "$(grep -c 'el mando está en uso por otro proceso' /tmp/second.err)"
tvx_expect_same "two at once: one stream of 2049 reports, in order" /tmp/expect9 /tmp/rx-both
