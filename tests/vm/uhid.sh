# The real CLI against the virtual controller on uhid.
tvx_plan 58
. /scenario/common.sh
tvx_load uhid hid-generic
# The system log, where the link's diagnostic lines go (debug priority included).
syslogd -n -O /tmp/messages -l 8 &
syslog_pid=$!
stall_until "the system log's socket" "[ -S /dev/log ]"

flash
expect_flash "no controller" 3 "Mando no conectado"
tvx_expect "no controller: stderr holds the message alone, no diagnostic" "Mando no conectado" "$(grep -v '^time: ' /tmp/flash.err)"
stall_until "the diagnostic line in the system log" "grep -q 'Request interface data error' /tmp/messages"
tvx_expect "no controller: the diagnostic line is in the system log" 1 \
  "$(grep -c 'Request interface data error' /tmp/messages)"
kill $syslog_pid

tolvanex-cli list > /tmp/list-none.out 2>&1
tvx_expect "list, no controller" "0 1" "$? $(grep -c '^Ninguna sirve: una actualización diría «Mando no conectado».$' /tmp/list-none.out)"

# show NAME FILE: the output, for people to read in the results.
show() { while IFS= read -r line; do tvx_say "$1 $line"; done < "$2"; }

# list: what the search examines, as root and as a user whom the node refuses.
start_controller /tmp/rx-list
tolvanex-cli list > /tmp/list.out 2>&1
tvx_expect "list: exit code" 0 $?
show LIST /tmp/list.out
tvx_expect "list: the node, its ids and name" 1 \
  "$(grep -A1 -x "  \[[0-9]*\] $node" /tmp/list.out | grep -c -x '      0E8F:310D  «Tolvanex virtual controller»  informe de salida: 9 bytes')"
tvx_expect "list: the one an update takes" "Una actualización tomaría [${node#/dev/hidraw}] $node." "$(tail -n 1 /tmp/list.out)"
tolvanex-cli list --json > /tmp/list.json
tvx_expect "list --json: one document naming it as chosen" "1 1" \
  "$(wc -l < /tmp/list.json | tr -d ' ') $(grep -c "\"path\":\"$node\",\"vendor_id\":\"0E8F\",\"product_id\":\"310D\",\"product\":\"Tolvanex virtual controller\",\"output_report_length\":9,\"opens\":true,\"problem\":null,\"error\":null,\"system_owned\":false,\"chosen\":true" /tmp/list.json)"
echo 'nobody:x:65534:65534:nobody:/:/bin/sh' >> /etc/passwd
echo 'nogroup:x:65534:' >> /etc/group
chmod 000 "$node"
su nobody -s /bin/sh -c '/bin/tolvanex-cli list' > /tmp/list-nobody.out 2>&1
tvx_expect "list as a user the node refuses: exit code" 0 $?
show LIST-NOBODY /tmp/list-nobody.out
tvx_expect "list as that user: ids and name from sysfs, no permission" 2 \
  "$(grep -c -x -e '      0E8F:310D  «Tolvanex virtual controller»  informe de salida: 9 bytes' -e '      no se abre: sin permiso' /tmp/list-nobody.out)"
tvx_expect "list as that user: no rule installed, and how to write one" 2 \
  "$(grep -c -e '^No está instalada\. El paquete del programa (\.deb) la instala' -e '^  sudo udevadm control --reload$' /tmp/list-nobody.out)"
# The command that the hint gives (as root) writes the rule as the source tree
# has it; with the rule in place, the hint names its file.
mkdir -p /etc/udev/rules.d
sh -c "$(sed -n 's/^  echo \(.*\) | sudo tee \(.*\)$/echo \1 | tee \2/p' /tmp/list-nobody.out)" > /dev/null
tvx_expect "the hint's command writes the rule" "$(grep -v '^#' /data/70-tolvanex.rules)" \
  "$(cat /etc/udev/rules.d/70-tolvanex.rules 2>&1)"
su nobody -s /bin/sh -c '/bin/tolvanex-cli list' > /tmp/list-nobody-rule.out 2>&1
show LIST-NOBODY-RULE /tmp/list-nobody-rule.out
tvx_expect "list as that user, the rule installed: its file" 1 \
  "$(grep -c -x 'Está instalada: /etc/udev/rules.d/70-tolvanex.rules' /tmp/list-nobody-rule.out)"
rm -f /etc/udev/rules.d/70-tolvanex.rules
su nobody -s /bin/sh -c "/bin/tolvanex-cli flash $hex" > /tmp/flash-nobody.out 2> /tmp/flash-nobody.err
tvx_expect "flash as that user" "3 Mando no conectado" "$? $(cat /tmp/flash-nobody.out; grep -x 'Mando no conectado' /tmp/flash-nobody.err)"
tvx_expect "flash as that user: the same hint" 1 "$(grep -c 'Hay un mando 0E8F:310D que este usuario no tiene permiso para abrir.' /tmp/flash-nobody.err)"
chmod 600 "$node"
stop_controller $vc_pid
tvx_expect "nothing was sent meanwhile" 0 "$(wc -l < /tmp/rx-list)"

# progress_rises FILE: the progress events' values rise and end at 10000.
progress_rises() {
  awk -F'"value":' '/^\{"event":"progress"/ { split($2, a, ","); v = a[1] + 0; if (v <= last) bad = 1; last = v; n++ }
    END { print (bad || n < 2 ? "no" : "rising"), last }' last=-1 "$1"
}

start_controller /tmp/rx-full
flash
expect_flash "uhid download" 0 "Actualización OK!!!!"
stop_controller $vc_pid
tvx_expect_same "uhid download: reports received in order" /tmp/expect9 /tmp/rx-full
tvx_say "TIME uhid-flash ms=$flash_ms"

# For programs: one JSON object per line on stdout, nothing else there.
start_controller /tmp/rx-json
tolvanex-cli flash --progress=json "$hex" > /tmp/json.out 2> /tmp/json.err
tvx_expect "--progress=json: exit code, stderr" "0 " "$? $(cat /tmp/json.err)"
stop_controller $vc_pid
head -n 3 /tmp/json.out > /tmp/json-head.out
show JSON-HEAD /tmp/json-head.out
# uhid is no USB device: the system gives no version number.
tvx_expect "--progress=json: found first" "{\"event\":\"found\",\"path\":\"$node\",\"output_report_length\":9,\"version\":null}" "$(head -n 1 /tmp/json.out)"
tvx_expect "--progress=json: values only rise, to 10000" "rising 10000" "$(progress_rises /tmp/json.out)"
tvx_expect "--progress=json: the result last" '{"event":"result","ok":true,"message":"Actualización OK!!!!"}' "$(tail -n 1 /tmp/json.out)"
tvx_expect "--progress=json: nothing but events" 0 "$(grep -vc '^{"event":"[a-z]*",.*}$' /tmp/json.out)"
tvx_expect_same "--progress=json: reports received in order" /tmp/expect9 /tmp/rx-json

# --wait: the controller comes once the flash waits for it.
tolvanex-cli flash --wait=600 --progress=json "$hex" > /tmp/wait.out 2> /tmp/wait.err &
waiting=$!
stall_until "flash --wait to wait" "grep -q esperando /tmp/wait.err"
start_controller /tmp/rx-wait
stall_wait "flash --wait" "$tvx_files" $waiting
tvx_expect "--wait: exit code" 0 $?
stop_controller $vc_pid
tvx_expect "--wait: says it waits" "tolvanex-cli: esperando al mando hasta 600 s (Ctrl+C para dejarlo)..." "$(cat /tmp/wait.err)"
tvx_expect "--wait: waiting, found, progress, result" "waiting found progress result" \
  "$(sed 's/^{"event":"\([a-z]*\)".*/\1/' /tmp/wait.out | uniq | tr '\n' ' ' | sed 's/ $//')"
tvx_expect "--wait: values only rise, to 10000" "rising 10000" "$(progress_rises /tmp/wait.out)"
tvx_expect_same "--wait: reports received in order" /tmp/expect9 /tmp/rx-wait

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
  stall_wait "the unplugged controller to end" "" $vc_pid
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
stall_until "100 reports of the first" "[ \$(wc -l < /tmp/rx-both) -ge 100 ]" "$tvx_files"
tolvanex-cli flash "$hex" > /tmp/second.out 2> /tmp/second.err
second_rc=$?
tolvanex-cli list > /tmp/list-busy.out 2>&1
show LIST-BUSY /tmp/list-busy.out
tvx_expect "list while the first sends: busy" 1 "$(grep -c -x '      ocupado: lo tiene otra actualización u otro programa' /tmp/list-busy.out)"
stall_wait "the first flash" "$tvx_files" $first
first_rc=$?
stop_controller $vc_pid
tvx_expect "two at once: the first sends" "0 Actualización OK!!!!" "$first_rc $(cat /tmp/first.out)"
tvx_expect "two at once: the second finds it busy" "3 Mando no conectado" "$second_rc $(cat /tmp/second.out; grep -x 'Mando no conectado' /tmp/second.err)"
tvx_expect "two at once: the second says why" 1 "$(grep -c 'el mando está en uso por otro proceso' /tmp/second.err)"
tvx_expect_same "two at once: one stream of 2049 reports, in order" /tmp/expect9 /tmp/rx-both
