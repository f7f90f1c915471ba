# A whole update from the updater window (offscreen) against the virtual
# controller on uhid, through the Linux hidraw backend.
tvx_plan 34
. /scenario/common.sh
tvx_load uhid hid-generic
export FONTCONFIG_PATH=/etc/fonts HOME=/tmp XDG_RUNTIME_DIR=/tmp

# gui OUT: runs the window once; sets gui_rc.
gui() {
  stall_run "the window's update" "$tvx_files" gui_update "$hex" > "$1" 2> "$1.err"
  gui_rc=$?
  [ $gui_rc = 0 ] || { tail -n 20 "$1.err" > /dev/console; cat "$1" > /dev/console; }
}
# field OUT KEY: the value of the line "KEY value".
field() { sed -n "s/^$2 //p" "$1" | head -n 1; }

# No controller: the box says so and nothing is ever locked.
gui /tmp/gui-none
tvx_expect "window, no controller: exit" 0 "$gui_rc"
tvx_expect "window, no controller: message" "Mando no conectado" "$(field /tmp/gui-none BOX)"
tvx_expect "window, no controller: caption" "tolvanex-updater" "$(field /tmp/gui-none CAPTION)"
tvx_expect "window, no controller: never locked" 0 "$(field /tmp/gui-none LOCKED_SEEN)"

# A whole update.
start_controller /tmp/rx-gui
gui /tmp/gui-ok
stop_controller $vc_pid
tvx_expect "window: exit" 0 "$gui_rc"
tvx_expect "window: checksum shown" "$(tolvanex-cli checksum "$hex")" "$(field /tmp/gui-ok CHECKSUM)"
tvx_expect "window: message" "Actualización OK!!!!" "$(field /tmp/gui-ok BOX)"
tvx_expect "window: caption" "tolvanex-updater" "$(field /tmp/gui-ok CAPTION)"
tvx_expect "window: controls back before the box" 0 "$(field /tmp/gui-ok CONTROLS_LOCKED_AT_BOX)"
tvx_expect "window: controller open while the box shows" 0 "$(field /tmp/gui-ok CONTROLLER_CLOSED_AT_BOX)"
tvx_expect "window: controller closed after the box" 1 "$(field /tmp/gui-ok CONTROLLER_CLOSED_AFTER)"
tvx_expect "window: every control locked during the download" 1 "$(field /tmp/gui-ok LOCKED_SEEN)"
tvx_expect "window: the dialog itself never disabled" 0 "$(field /tmp/gui-ok DIALOG_DISABLED_SEEN)"
tvx_expect "window: bar range" "0 10000" "$(field /tmp/gui-ok BAR_RANGE)"
tvx_expect "window: the bar full at the end" 10000 "$(field /tmp/gui-ok BAR_AT_BOX)"
tvx_expect_same "window: reports received in order" /tmp/expect9 /tmp/rx-gui
tvx_say "GUI bar_max=$(field /tmp/gui-ok BAR_MAX)"

# unplugged K OUT: an update whose controller goes after K reports.
unplugged() {
  start_controller "/tmp/rx-gui-unplug-$1" --vanish-after "$1"
  gui "$2"
  # Gone by now unless reports went missing; then the count below tells.
  kill -TERM $vc_pid 2>/dev/null
  stall_wait "the unplugged controller to end" "" $vc_pid
  vc_count=$((vc_count - 1))
}
# bar_tells_end OUT WHAT: the bar stands where the transfer stopped, not full.
bar_tells_end() {
  local at reached
  at=$(field "$1" BAR_AT_BOX) reached=$(field "$1" REACHED)
  tvx_expect "$2: the bar where the transfer stopped ($reached), not full" "$reached" "$at"
  tvx_expect "$2: short of full" 1 "$([ "${reached:-10000}" -lt 10000 ] && echo 1 || echo 0)"
}

# Unplugged right after the first data report.
unplugged 2 /tmp/gui-first
tvx_expect "window, unplug after the first data report: message" "Error sucedido!" "$(field /tmp/gui-first BOX)"
tvx_expect "window, unplug after the first data report: why" "el mando se ha desconectado" \
  "$(field /tmp/gui-first BOX_REASON)"
bar_tells_end /tmp/gui-first "window, unplug after the first data report"

# Unplugged once the whole image has gone out: the update succeeded.
unplugged 2049 /tmp/gui-whole
tvx_expect "window, unplug after the whole image: message" "Actualización OK!!!!" "$(field /tmp/gui-whole BOX)"
tvx_expect "window, unplug after the whole image: the bar full" 10000 "$(field /tmp/gui-whole BAR_AT_BOX)"
tvx_expect_same "window, unplug after the whole image: reports received" /tmp/expect9 /tmp/rx-gui-unplug-2049

# Unplugged mid-transfer.
unplugged 1000 /tmp/gui-fail
tvx_expect "window, unplug: exit" 0 "$gui_rc"
tvx_expect "window, unplug: message" "Error sucedido!" "$(field /tmp/gui-fail BOX)"
tvx_expect "window, unplug: why" "el mando se ha desconectado" "$(field /tmp/gui-fail BOX_REASON)"
bar_tells_end /tmp/gui-fail "window, unplug"
# At least the 999 data reports received went out whole.
tvx_expect "window, unplug: the bar past the reports received" 1 \
  "$([ "$(field /tmp/gui-fail REACHED)" -ge $((998 * 10000 / 2048)) ] && echo 1 || echo 0)"
tvx_expect "window, unplug: controller left open" 0 "$(field /tmp/gui-fail CONTROLLER_CLOSED_AFTER)"
head -n 1000 /tmp/expect9 > /tmp/want-gui-1000
tvx_expect_same "window, unplug: reports received" /tmp/want-gui-1000 /tmp/rx-gui-unplug-1000
tvx_expect "window, unplug: controls back before the box" 0 "$(field /tmp/gui-fail CONTROLS_LOCKED_AT_BOX)"
