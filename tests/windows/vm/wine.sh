# The Windows programs under wine inside the VM, against the virtual
# controller on uhid: the host's root over 9p (host-root.sh), the wine prefix
# that the stage made (winebus's hidraw bus on) under a layer that takes the
# guest's writes. Wine sees only the controllers plugged in when it starts and
# keeps one that went: it starts after them, and again after an unplug.
# Kernel arguments beside host-root.sh's: tvx_win (the Windows build),
# tvx_prefix (the prefix).
tvx_plan 28
. /scenario/host-root.sh
tvx_load overlay
for arg in $(cat /proc/cmdline); do
  case "$arg" in tvx_win=*|tvx_prefix=*) eval "$arg" ;; esac
done
[ -e "$root$tvx_win" ] || { mkdir -p "$root$tvx_win" && mount -o bind "/hostview$tvx_win" "$root$tvx_win"; }
mkdir -p /wine
mount -t tmpfs wine /wine
mkdir -p /wine/upper /wine/work $root/tmp/prefix
mount -t overlay overlay -o "lowerdir=/hostview$tvx_prefix,upperdir=/wine/upper,workdir=/wine/work" $root/tmp/prefix ||
  tvx_fail "prefix" "overlay mount failed"
echo -1 > /proc/sys/kernel/sched_rt_runtime_us  # the controllers run at real-time priority

# win CMD...: CMD in the host's tree, with wine's settings and the X server.
win() {
  chroot $root /usr/bin/env -i HOME=/tmp PATH=/usr/bin:/bin LANG=C.UTF-8 DISPLAY=:7 WINEPREFIX=/tmp/prefix \
    WINEDEBUG=-all "WINEDLLOVERRIDES=mscoree,mshtml=;winemenubuilder.exe=d" "$@"
}
cli="$tvx_win/cli/tolvanex-cli.exe"
hex="$tvx_top/examples/sample.hex"
uptime() { cut -d' ' -f1 /proc/uptime; }
show() { while IFS= read -r line; do tvx_say "$1 $line"; done < "$2"; }
step() { tvx_say "STEP $* at $(uptime) s"; }

# The stream the controller must receive, one line per report.
tolvanex-cli image /data/sample.hex -o /tmp/image.bin
{ echo 00444f574e4c4f4144; hexdump -v -e '"00" 8/1 "%02x" "\n"' /tmp/image.bin; } > /tmp/expect9
head -n 1000 /tmp/expect9 > /tmp/expect1000
# received NAME FROM TO: the reports controller NAME received, FROM to TO.
received() { sed -n "$2,$3p" $root/tmp/rx-$1; }

# plug NAME K: a controller that records into rx-NAME and vanishes after K
# reports; --delay-us writes each report out at once.
plugged=0
plug() {
  chroot $root "$tvx_build/tools/virtual-controller/virtual-controller" -q -o /tmp/rx-$1 --delay-us 1 \
    --vanish-after $2 &
  eval "vc_$1=$!"
  plugged=$((plugged + 1))
  vmtool wait-hidraw $plugged 20000 > /dev/null || tvx_fail "controller $1 appears" "no hidraw node"
}
# wine_start: wine's services, and winebus's look at the hidraw nodes.
wine_start() {
  step "wine starts"
  win wineserver -k 2> /dev/null
  win wineserver -w
  win wineserver -p
  win wine cmd /c exit > /dev/null 2>&1
  step "wine is up"
}

# watched LOG CMD...: CMD with its output in LOG, ended when neither a
# controller got a report nor LOG grew for longer than CMD's own waits last
# (a minute each), so that CMD says first what it waited for; sets rc.
watched() {
  local log=$1 quiet=$stall_quiet
  shift
  "$@" > $log 2>&1 &
  stall_quiet=150
  stall_wait "$*" "cat $root/tmp/rx-* $log 2> /dev/null | wc -c" $!
  rc=$?
  stall_quiet=$quiet
}
flash() {  # flash LOG [OPTION]...
  local log=$1
  shift
  step "flash $*"
  watched $log win wine "$cli" flash "$@" "$hex"
}

win Xvfb :7 -screen 0 1280x1024x24 -nolisten tcp > /dev/null 2>&1 &
xvfb=$!
while [ ! -S $root/tmp/.X11-unix/X7 ]; do sleep 0.1; done  # before wine, whose desktop uses it
# One controller: it vanishes at the 1,000th report of the fourth update.
plug a $((3 * 2049 + 1000))
wine_start

step list
win wine "$cli" list > /tmp/list.raw 2>&1
tvx_expect "list: exit code" 0 $?
tr -d '\r' < /tmp/list.raw > /tmp/list
show LIST /tmp/list
tvx_expect "list: the controller, its 9-byte output report" 1 \
  "$(grep -c -x '      0E8F:310D  «Tolvanex virtual controller»  informe de salida: 9 bytes' /tmp/list)"
tvx_expect "list: the one an update takes" 1 \
  "$(grep -A2 'informe de salida: 9 bytes' /tmp/list | grep -c -x '      se abre; es el que tomaría una actualización')"
tvx_expect "list: named last" 1 "$(tail -n 1 /tmp/list | grep -c '^Una actualización tomaría \[[0-9]*\] \\\\?\\hid#vid_0e8f&pid_310d#')"

flash /tmp/flash
tvx_expect "flash: exit code, message" "0 Actualización OK!!!!" "$rc $(tr -d '\r' < /tmp/flash)"
received a 1 2049 > /tmp/got
tvx_expect_same "flash: the 2,049 reports in order" /tmp/expect9 /tmp/got

flash /tmp/json --progress=json
tr -d '\r' < /tmp/json > /tmp/json.txt
tvx_expect "--progress=json: exit code" 0 $rc
tvx_expect "--progress=json: found first" 1 "$(head -n 1 /tmp/json.txt | grep -c '^{"event":"found","path":"\\\\\\\\?\\\\hid#vid_0e8f&pid_310d#.*","output_report_length":9,"version":\("[0-9A-F]\{4\}"\|null\)}$')"
tvx_expect "--progress=json: the last value, the result" \
  '{"event":"progress","value":10000,"of":10000} {"event":"result","ok":true,"message":"Actualización OK!!!!"}' \
  "$(tail -n 2 /tmp/json.txt | tr '\n' ' ' | sed 's/ $//')"
tvx_expect "--progress=json: nothing but events" 0 "$(grep -vc '^{"event":"[a-z]*",.*}$' /tmp/json.txt)"
received a 2050 4098 > /tmp/got
tvx_expect_same "--progress=json: the 2,049 reports in order" /tmp/expect9 /tmp/got

# Two updates started together: one sends, the other finds the controller
# held (status 3), and the controller gets one clean stream.
step "two updates at once"
# Each reads a file of its own: on Windows a file being read is not shared,
# and the two would race for the one file before they race for the controller.
cp "$root$hex" $root/tmp/second.hex
(watched /tmp/second win wine "$cli" flash /tmp/second.hex; echo $rc > /tmp/second.rc) &
second=$!
flash /tmp/first
wait $second
tvx_expect "two at once: one sends, the other is told it is held" "0 3" \
  "$(echo $rc $(cat /tmp/second.rc) | tr ' ' '\n' | sort | tr '\n' ' ' | sed 's/ $//')"
tvx_expect "two at once: what each said" "Actualización OK!!!!|Mando no conectado|tolvanex-cli: el mando está en uso por otro proceso" \
  "$(cat /tmp/first /tmp/second | tr -d '\r' | sort | tr '\n' '|' | sed 's/|$//')"
received a 4099 6147 > /tmp/got
tvx_expect_same "two at once: one clean stream" /tmp/expect9 /tmp/got

flash /tmp/unplug
tvx_expect "unplug at the 1,000th report: exit code, message" "4 Error sucedido!" "$rc $(tr -d '\r' < /tmp/unplug | head -n 1)"
tvx_expect "unplug: why, and how far it came" 1 "$(tr -d '\r' < /tmp/unplug | grep -c '^tolvanex-cli: .*; 1000 de 2049 informes enviados$')"
wait $vc_a
tvx_expect "unplug: the controller ends cleanly" 0 $?
tvx_expect "unplug: exactly the first 1,000 received" "7147 $(cat /tmp/expect1000 | md5sum)" \
  "$(wc -l < $root/tmp/rx-a) $(received a 6148 7147 | md5sum)"

# Two controllers for flash --all and the window, which takes the first: each
# vanishes at the 1,000th report of its third update.
plugged=0
plug b $((2 * 2049 + 1000))
plug c $((2 * 2049 + 1000))
wine_start
flash /tmp/all --all
tvx_expect "flash --all: exit code" 0 $rc
show ALL /tmp/all
tvx_expect "flash --all: the summary" "Actualizados 2 de 2 mandos:" "$(head -n 1 /tmp/all | tr -d '\r')"
received b 1 2049 > /tmp/got
tvx_expect_same "flash --all: the first controller's 2,049 reports" /tmp/expect9 /tmp/got
received c 1 2049 > /tmp/got
tvx_expect_same "flash --all: the second controller's 2,049 reports" /tmp/expect9 /tmp/got

step "the window"
watched /tmp/window win bash "$tvx_top/tests/windows/gui/run.sh" device "$tvx_win/app/tolvanex-updater.exe" - \
  "$tvx_win/tests/windows/winprobe.exe" "$hex" /mnt -
show WINDOW /tmp/window
tvx_expect "window: updated, then Error sucedido! at the unplug" 0 $rc
received b 2050 4098 > /tmp/got
tvx_expect_same "window: the 2,049 reports in order" /tmp/expect9 /tmp/got
received b 4099 5098 > /tmp/got
tvx_expect_same "window, unplug: the first 1,000 reports" /tmp/expect1000 /tmp/got
wait $vc_b
tvx_expect "window, unplug: the controller ends cleanly" 0 $?
tvx_expect "window: the second controller got nothing more" 2049 "$(wc -l < $root/tmp/rx-c)"

win wineserver -k 2> /dev/null
kill -TERM $vc_c $xvfb
wait $vc_c
tvx_expect "the last controller ends cleanly" 0 $?
step done
