# The real CLI against a USB HID gadget on dummy_hcd: the whole USB stack,
# usbhid and hid-generic on the host side, /dev/hidg0 on the device side.
tvx_plan 15
. /scenario/common.sh
tvx_load dummy_hcd libcomposite usb_f_hid usbhid hid-generic
mount -t configfs configfs /sys/kernel/config

g=/sys/kernel/config/usb_gadget/tvx
mkdir "$g" "$g/strings/0x409" "$g/functions/hid.usb0" "$g/configs/c.1"
echo 0x0e8f > "$g/idVendor"
echo 0x310d > "$g/idProduct"
echo 0x0200 > "$g/bcdUSB"
echo 0x0100 > "$g/bcdDevice"
echo Tolvanex > "$g/strings/0x409/manufacturer"
echo "Tolvanex gadget controller" > "$g/strings/0x409/product"
echo 0 > "$g/functions/hid.usb0/protocol"
echo 0 > "$g/functions/hid.usb0/subclass"
echo 8 > "$g/functions/hid.usb0/report_length"
# One 8-byte output report on a vendor page, no report IDs.
printf '\006\000\377\011\001\241\001\011\002\025\000\046\377\000\165\010\225\010\221\002\300' \
  > "$g/functions/hid.usb0/report_desc"
ln -s "$g/functions/hid.usb0" "$g/configs/c.1/"
udc=$(ls /sys/class/udc | head -n 1)

plug() {
  echo "$udc" > "$g/UDC"
  node=$(vmtool wait-hidraw 1 30000 | tail -n 1)
  [ -n "$node" ] || tvx_fail "gadget appears" "no hidraw node"
  local i=0
  while [ ! -c /dev/hidg0 ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
}
# record OUT [K]: reads reports from the gadget; with K, unplugs after K.
record() {
  if [ $# -eq 2 ]; then vmtool hidg /dev/hidg0 "$1" "$2" "$g/UDC" &
  else vmtool hidg /dev/hidg0 "$1" &
  fi
  rec_pid=$!
}
stop_record() {
  kill -TERM $rec_pid
  wait $rec_pid
  tvx_expect "gadget reader stops cleanly" 0 $?
}

plug
record /tmp/rx-full
flash
expect_flash "gadget download" 0 "Actualización OK!!!!"
stop_record
tvx_expect_same "gadget download: reports received in order" /tmp/expect8 /tmp/rx-full
tvx_say "TIME gadget-flash ms=$flash_ms"

record /tmp/rx-bare
bare=$(vmtool bare "$node" /tmp/image.bin)
stop_record
tvx_expect_same "gadget bare loop: reports received" /tmp/expect8 /tmp/rx-bare
tvx_say "TIME gadget-bare ms=$(echo "$bare" | sed -n 's/.* in \(.*\) ms$/\1/p')"

# Unplugged mid-transfer: the gadget leaves the bus after the DOWNLOAD
# command alone, and after 1000 reports.
for k in 1 1000; do
  [ -n "$(cat "$g/UDC")" ] || plug
  record /tmp/rx-unplug-$k $k
  flash
  expect_flash "gadget unplug after $k" 4 "Error sucedido!"
  # Gone by now unless reports went missing; then the count below tells.
  kill -TERM $rec_pid 2>/dev/null
  wait $rec_pid
  tvx_expect "gadget unplug after $k: reader exit" 0 $?
  head -n $k /tmp/expect8 > /tmp/want-$k
  tvx_expect_same "gadget unplug after $k: reports received" /tmp/want-$k /tmp/rx-unplug-$k
done
