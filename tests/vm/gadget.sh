# The real CLI against USB HID gadgets on dummy_hcd: the whole USB stack,
# usbhid and hid-generic on the host side, /dev/hidgN on the device side.
# Four controllers on four emulated buses; the first shows two HID
# interfaces, the fourth is played on FunctionFS (f_hid has only four).
tvx_plan 91
. /scenario/common.sh
. /scenario/gadgets.sh
gadgets_load 4
make_gadget 1 2
make_gadget 2 1
make_gadget 3 1
make_ffs_gadget 4

# lines FILE: its number of lines.
lines() { wc -l < "$1" | tr -d ' '; }
# until_lines FILE N: waits until FILE has N lines.
until_lines() {
  stall_until "$2 lines in $1" "[ \"\$(lines $1 2>/dev/null || echo 0)\" -ge $2 ]" "$tvx_files"
}
show() { while IFS= read -r line; do tvx_say "$1 $line"; done < "$2"; }

plug 1
node=$(nodes_of 1 | head -n 1)
record 1 0 /tmp/rx-full
full=$rec_pid
record 1 1 /tmp/rx-full-1
flash
expect_flash "gadget download" 0 "Actualización OK!!!!"
stop_record $full
stop_record $rec_pid
tvx_expect_same "gadget download: reports received in order" /tmp/expect8 /tmp/rx-full
tvx_expect "gadget download: the second interface receives nothing" 0 "$(lines /tmp/rx-full-1)"
tvx_say "TIME gadget-flash ms=$flash_ms"

record 1 0 /tmp/rx-bare
bare=$(vmtool bare "$node" /tmp/image.bin)
stop_record $rec_pid
tvx_expect_same "gadget bare loop: reports received" /tmp/expect8 /tmp/rx-bare
tvx_say "TIME gadget-bare ms=$(echo "$bare" | sed -n 's/.* in \(.*\) ms$/\1/p')"

# Unplugged mid-transfer: the gadget leaves the bus after the DOWNLOAD
# command alone, and after 1000 reports.
for k in 1 1000; do
  [ -n "$(nodes_of 1)" ] || plug 1
  record 1 0 /tmp/rx-unplug-$k $k
  flash
  expect_flash "gadget unplug after $k" 4 "Error sucedido!"
  # Gone by now unless reports went missing; then the count below tells.
  stop_record $rec_pid
  head -n $k /tmp/expect8 > /tmp/want-$k
  tvx_expect_same "gadget unplug after $k: reports received" /tmp/want-$k /tmp/rx-unplug-$k
done

# One lock per controller: while an update holds the first controller (slowed
# to one report per millisecond), a second update passes over both of its
# interfaces and takes the second controller.
plug 1
plug 2
p1=$(place_of 1) p2=$(place_of 2) p3=$(place_of 3) p4=$(place_of 4)
record 1 0 /tmp/rx-a0 -p 1000
a0=$rec_pid
record 1 1 /tmp/rx-a1
a1=$rec_pid
record 2 0 /tmp/rx-b
tolvanex-cli flash "$hex" > /tmp/first.out 2> /tmp/first.err &
first=$!
until_lines /tmp/rx-a0 100
tolvanex-cli list > /tmp/list-held.out 2>&1
show LIST-HELD /tmp/list-held.out
flash
stall_wait "the first flash" "$tvx_files" $first
first_rc=$?
stop_record $a0
stop_record $a1
stop_record $rec_pid
tvx_expect "one lock per controller: the first update" "0 Actualización OK!!!!" "$first_rc $(cat /tmp/first.out)"
expect_flash "one lock per controller: the second update" 0 "Actualización OK!!!!"
tvx_expect_same "one lock per controller: the first controller receives one stream" /tmp/expect8 /tmp/rx-a0
tvx_expect "one lock per controller: its second interface receives nothing" 0 "$(lines /tmp/rx-a1)"
tvx_expect_same "one lock per controller: the second controller receives the other" /tmp/expect8 /tmp/rx-b
tvx_expect "list while held: the first controller, whole" "1 2" \
  "$(grep -c -x -E "Mando en $p1, número de serie TVX-1(, versión 0100)?: lo tiene otra actualización" /tmp/list-held.out) $(grep -c -x '      ocupado: lo tiene otra actualización u otro programa' /tmp/list-held.out)"
tvx_expect "list while held: the second controller is taken" 1 \
  "$(grep -c "^Una actualización tomaría \[[0-9]*\] /dev/hidraw[0-9]* (el mando en $p2)\.$" /tmp/list-held.out)"

# record_all PREFIX [-p US]: a reader on every function (pids in rec_all);
# the fourth controller is plugged in by its own.
record_all() {
  rec_all=
  for nf in "1 0" "1 1" "2 0" "3 0"; do
    record $nf "$1-$(echo $nf | tr ' ' -)" ${2:+"$2"} ${3:+"$3"}
    rec_all="$rec_all $rec_pid"
  done
  serve 4 "$1-4-0" ${2:+"$2"} ${3:+"$3"}
  rec_all="$rec_all $rec_pid"
}
stop_all() {
  for pid in $rec_all; do stop_record $pid; done
  unplug 4
}
# received PREFIX: for each function, the stream it received: "full", a count of reports, or 0.
received() {
  local got=
  for nf in 1-0 1-1 2-0 3-0 4-0; do
    if cmp -s /tmp/expect8 "$1-$nf"; then got="$got full"; else got="$got $(lines "$1-$nf")"; fi
  done
  echo $got
}

# --all: four controllers at once, each its whole stream on the interface the
# search takes (the first of the first controller's two).
plug 3
record_all /tmp/all
tolvanex-cli flash --all "$hex" > /tmp/all.out 2> /tmp/all.err
all_rc=$?
stop_all
show ALL /tmp/all.out
tvx_expect "--all: exit code" 0 $all_rc
tvx_expect "--all: streams" "full 0 full full full" "$(received /tmp/all)"
tvx_expect "--all: the summary" "Actualizados 4 de 4 mandos:|  $p1: Actualización OK!!!!|  $p2: Actualización OK!!!!|  $p3: Actualización OK!!!!|  $p4: Actualización OK!!!!" \
  "$(tail -n 5 /tmp/all.out | tr '\n' '|' | sed 's/|$//')"

# One of them unplugged at report 1000: the others finish, the summary names it.
rec_all=
for nf in "1 0" "2 0"; do record $nf "/tmp/cut-$(echo $nf | tr ' ' -)"; rec_all="$rec_all $rec_pid"; done
record 3 0 /tmp/cut-3-0 1000
rec_all="$rec_all $rec_pid"
serve 4 /tmp/cut-4-0
rec_all="$rec_all $rec_pid"
: > /tmp/cut-1-1
tolvanex-cli flash --all "$hex" > /tmp/cut.out 2> /tmp/cut.err
cut_rc=$?
stop_all
show CUT /tmp/cut.out
show CUT-ERR /tmp/cut.err
tvx_expect "--all, one unplugged: exit code" 4 $cut_rc
tvx_expect "--all, one unplugged: streams" "full 0 full 1000 full" "$(received /tmp/cut)"
tvx_expect "--all, one unplugged: the summary names it" "Actualizados 3 de 4 mandos:|  $p3: Error sucedido!" \
  "$(grep -e '^Actualizados' -e '^  .*: Error' /tmp/cut.out | sed 's/ (.*)$//' | tr '\n' '|' | sed 's/|$//')"
tvx_expect "--all, one unplugged: why, and how far it came" 1 \
  "$(grep -c "^  $p3: Error sucedido! (.*; [0-9]* de 2049 informes enviados)$" /tmp/cut.out)"
tvx_expect "--all, one unplugged: the failure on stderr too" 1 "$(grep -c "$p3: Error sucedido!" /tmp/cut.err)"

# --device picks one controller, by serial number, place or interface path.
plug 3
second=$(nodes_of 1 | sed -n 2p)
for pick in "serial:TVX-3|0 0 0 full 0" "place:$p2|0 0 full 0 0" "$second|0 full 0 0 0"; do
  record_all /tmp/pick
  stall_run "flash --device" "$tvx_files" tolvanex-cli flash --device="${pick%|*}" "$hex" > /tmp/flash.out 2> /tmp/flash.err
  flash_rc=$?
  stop_all
  tvx_expect "--device=${pick%|*}" "0 ${pick#*|}" "$flash_rc $(received /tmp/pick)"
done
tolvanex-cli flash --device=serial:TVX-9 "$hex" > /tmp/flash.out 2> /tmp/flash.err
tvx_expect "--device naming nothing plugged in: exit code, the controllers listed" "3 1 1" \
  "$? $(grep -c 'serial:TVX-9' /tmp/flash.err) $(grep -c "^  $p3, número de serie TVX-3: /dev/hidraw" /tmp/flash.err)"

# A plain flash while --all sends (slowed) is told the controllers are in use.
record_all /tmp/busy -p 1000
tolvanex-cli flash --all -q "$hex" > /tmp/all.out 2> /tmp/all.err &
all=$!
until_lines /tmp/busy-4-0 100
flash
stall_wait "flash --all" "$tvx_files" $all
all_rc=$?
stop_all
tvx_expect "flash during --all: told they are in use" "3 1" \
  "$flash_rc $(grep -c 'el mando está en uso por otro proceso' /tmp/flash.err)"
tvx_expect "flash during --all: --all ends well" "0 full 0 full full full" "$all_rc $(received /tmp/busy)"

# Every controller accounted for: while a plain flash holds the first
# controller (slowed), a user who may not open the second's node runs list and
# --all; both count the two passed over alike, and --all names them with why,
# updates the other two and ends with 4.
grep -q '^nobody:' /etc/passwd || echo 'nobody:x:65534:65534:nobody:/:/bin/sh' >> /etc/passwd
rec_all=
record 1 0 /tmp/crowd-1-0 -p 5000
rec_all="$rec_all $rec_pid"
for nf in "1 1" "2 0" "3 0"; do record $nf "/tmp/crowd-$(echo $nf | tr ' ' -)"; rec_all="$rec_all $rec_pid"; done
serve 4 /tmp/crowd-4-0
rec_all="$rec_all $rec_pid"
for n in 1 3 4; do chmod 666 $(nodes_of $n); done
chmod 600 $(nodes_of 2)
tolvanex-cli flash --device=place:$p1 "$hex" > /tmp/holder.out 2>&1 &
holder=$!
until_lines /tmp/crowd-1-0 100
su nobody -s /bin/sh -c '/bin/tolvanex-cli list' > /tmp/crowd-list.out 2>&1
su nobody -s /bin/sh -c "/bin/tolvanex-cli flash --all $hex" > /tmp/crowd.out 2> /tmp/crowd.err
crowd_rc=$?
stall_wait "the flash that holds the first controller" "$tvx_files" $holder
holder_rc=$?
stop_all
show CROWD /tmp/crowd.out
show CROWD-ERR /tmp/crowd.err
tvx_expect "--all, one held, one not permitted: exit codes" "4 0" "$crowd_rc $holder_rc"
tvx_expect "--all, one held, one not permitted: the summary" "Actualizados 2 de 4 mandos; 1 en uso, 1 sin permiso:" \
  "$(head -n 1 /tmp/crowd.out)"
tvx_expect "--all, one held, one not permitted: each named with why" "1 1" \
  "$(grep -c -x "tolvanex-cli: $p1: en uso por otro proceso; no se actualiza" /tmp/crowd.err) $(grep -c -x "tolvanex-cli: $p2: sin permiso para abrirlo; no se actualiza" /tmp/crowd.err)"
tvx_expect "--all, one held, one not permitted: list agrees" 1 \
  "$(grep -c -x 'flash --all actualizaría 2 de 4 mandos; 1 en uso, 1 sin permiso.' /tmp/crowd-list.out)"
tvx_expect "--all, one held, one not permitted: streams" "full 0 0 full full" "$(received /tmp/crowd)"

# --watch: the controller plugged in at the start, then each one as it
# appears; a replug is a new update. Stopped, it ends with 0. Each reader
# stops once its line is out (a reader left open would share the replug's).
for n in 2 3; do unplug $n; done
record 1 0 /tmp/w1
tolvanex-cli flash --watch "$hex" > /tmp/watch.out 2> /tmp/watch.err &
watch=$!
until_lines /tmp/watch.out 1
stop_record $rec_pid
for step in "2 /tmp/w2 2" "3 /tmp/w3 3" "2 /tmp/w2b 4"; do
  set -- $step
  unplug $1
  plug $1
  record $1 0 $2
  until_lines /tmp/watch.out $3
  stop_record $rec_pid
done
kill -TERM $watch
stall_wait "flash --watch to end" "$tvx_files" $watch
watch_rc=$?
show WATCH /tmp/watch.out
tvx_expect "--watch: exit code" 0 $watch_rc
tvx_expect "--watch: one line per update" "$p1: Actualización OK!!!!|$p2: Actualización OK!!!!|$p3: Actualización OK!!!!|$p2: Actualización OK!!!!" \
  "$(tr '\n' '|' < /tmp/watch.out | sed 's/|$//')"
for f in w1 w2 w3 w2b; do tvx_expect_same "--watch: $f received its stream" /tmp/expect8 /tmp/$f; done
