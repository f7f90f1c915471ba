# Controllers as USB HID gadgets on dummy_hcd, one emulated bus each, for the
# guest scenarios that need places, serial numbers or several interfaces of
# one controller. Gadget N (from 1) sits on dummy_udc.(N-1), its host side on
# dummy_hcd.(N-1), and answers to 0E8F:310D with serial number TVX-N.
#   gadgets_load COUNT     loads the modules for COUNT buses
#   make_gadget N FUNCS    gadget N with FUNCS HID functions (interfaces); f_hid
#                          has four at most, all gadgets together
#   make_ffs_gadget N      gadget N whose one HID interface a program plays on
#                          FunctionFS (no such limit)
#   serve N OUT [-p US]    starts that program for ffs gadget N, recording like
#                          `record` (rec_pid), and plugs the gadget in
#   plug N / unplug N      binds it to its bus and waits for its hidraw nodes / unbinds it
#   nodes_of N             its hidraw nodes, in the system's order
#   place_of N             its place on the host's bus ("3-1")
#   record N F OUT [-p US] [K]  reads what function F (from 0) receives into OUT,
#                          one line per report (rec_pid); with K, unplugs after K
#   stop_record PID        ends a reader; its exit code must be 0
gadgets_load() {
  tvx_load_with dummy_hcd num="$1"
  tvx_load libcomposite usb_f_hid usb_f_fs usbhid hid-generic
  mount -t configfs configfs /sys/kernel/config
}

gadget_dir() { echo "/sys/kernel/config/usb_gadget/tvx$1"; }

gadget_base() {
  local g
  g=$(gadget_dir "$1")
  mkdir "$g" "$g/strings/0x409" "$g/configs/c.1"
  echo 0x0e8f > "$g/idVendor"
  echo 0x310d > "$g/idProduct"
  echo 0x0200 > "$g/bcdUSB"
  echo 0x0100 > "$g/bcdDevice"
  echo Tolvanex > "$g/strings/0x409/manufacturer"
  echo "Tolvanex gadget controller" > "$g/strings/0x409/product"
  echo "TVX-$1" > "$g/strings/0x409/serialnumber"
}

make_gadget() {
  local g f
  gadget_base "$1"
  g=$(gadget_dir "$1")
  for f in $(seq 0 $(($2 - 1))); do
    mkdir "$g/functions/hid.f$f"
    echo 0 > "$g/functions/hid.f$f/protocol"
    echo 0 > "$g/functions/hid.f$f/subclass"
    echo 8 > "$g/functions/hid.f$f/report_length"
    # One 8-byte output report on a vendor page, no report IDs.
    printf '\006\000\377\011\001\241\001\011\002\025\000\046\377\000\165\010\225\010\221\002\300' \
      > "$g/functions/hid.f$f/report_desc"
    ln -s "$g/functions/hid.f$f" "$g/configs/c.1/"
  done
}

make_ffs_gadget() {
  local g
  gadget_base "$1"
  g=$(gadget_dir "$1")
  mkdir "$g/functions/ffs.tvx$1" "/dev/ffs-tvx$1"
  ln -s "$g/functions/ffs.tvx$1" "$g/configs/c.1/"
  mount -t functionfs "tvx$1" "/dev/ffs-tvx$1"
}

serve() {
  local n=$1 out=$2 pace=
  shift 2
  if [ "${1:-}" = -p ]; then pace="-p $2"; fi
  vmtool ffs-hid $pace "/dev/ffs-tvx$n" "$out" &
  rec_pid=$!
  stall_until "the endpoints of gadget $n" "[ -e /dev/ffs-tvx$n/ep2 ]"
  plug "$n"
}

nodes_of() {
  local h
  for h in $(ls /sys/class/hidraw | sort -t w -k 2 -n); do
    case "$(readlink -f "/sys/class/hidraw/$h/device")" in
      */dummy_hcd.$(($1 - 1))/*) echo "/dev/$h" ;;
    esac
  done
}

place_of() {
  local bus
  bus=$(ls -d /sys/devices/platform/dummy_hcd.$(($1 - 1))/usb* | head -n 1)
  echo "${bus##*/usb}-1"
}

# hidg_of N F: the gadget side of function F of gadget N.
hidg_of() { echo "/dev/hidg$(cut -d: -f2 "$(gadget_dir "$1")/functions/hid.f$2/dev")"; }

# plugged N WANT LAST: gadget N shows WANT writable hidraw nodes, and the
# gadget side of its last f_hid function LAST (if any) exists.
plugged() {
  local n=0 node
  for node in $(nodes_of "$1"); do [ -w "$node" ] && n=$((n + 1)); done
  [ "$n" -ge "$2" ] && { [ -z "$3" ] || [ -c "$(hidg_of "$1" "${3##*.f}")" ]; }
}

plug() {
  local g want last
  g=$(gadget_dir "$1")
  want=$(ls "$g/configs/c.1" | grep -c -e '^hid\.' -e '^ffs\.')
  last=$(ls -d "$g"/functions/hid.* 2>/dev/null | tail -n 1)
  [ -n "$(cat "$g/UDC")" ] || echo "dummy_udc.$(($1 - 1))" > "$g/UDC"
  stall_until "the $want hidraw node(s) of gadget $1" "plugged $1 $want '$last'" "nodes_of $1"
}

unplug() {
  local g
  g=$(gadget_dir "$1")
  [ -z "$(cat "$g/UDC")" ] || echo "" > "$g/UDC"
  stall_until "gadget $1 to go" "[ -z \"\$(nodes_of $1)\" ]" "nodes_of $1"
}

record() {
  local n=$1 f=$2 out=$3 pace=
  shift 3
  if [ "${1:-}" = -p ]; then pace="-p $2"; shift 2; fi
  if [ $# -ge 1 ]; then
    vmtool hidg $pace "$(hidg_of "$n" "$f")" "$out" "$1" "$(gadget_dir "$n")/UDC" &
  else
    vmtool hidg $pace "$(hidg_of "$n" "$f")" "$out" &
  fi
  rec_pid=$!
}

stop_record() {
  kill -TERM "$1" 2>/dev/null
  stall_wait "gadget reader $1 to stop" "" "$1"
  tvx_expect "gadget reader $1 stops cleanly" 0 $?
}
