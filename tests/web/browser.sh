# The updater page in headless Chromium inside the VM, against the virtual
# controller on uhid, the controller granted to the page by policy (see
# host-root.sh); the screenshots go to the writable share. The site has the
# test catalogue (tests/web/catalogue): 1.2 is the sample, 1.1 a file that is
# not the one its entry names.
tvx_plan 43
. /scenario/host-root.sh

# Device events, as on a desktop: Chromium hears a controller come and go
# only through udev, and only from a udevd that ran before it started. No
# rules: the events alone are wanted, the same whatever the host has.
mkdir -p $root/run/tvx
cp /lib/tvx/udevadm $root/run/tvx/systemd-udevd
for dir in /etc/udev/rules.d /usr/lib/udev/rules.d /lib/udev/rules.d /usr/local/lib/udev/rules.d; do
  [ -d "$root$dir" ] && mount -t tmpfs norules "$root$dir"
done
in_root /run/tvx/systemd-udevd --daemon
tvx_expect "udev runs" 1 "$([ -S $root/run/udev/control ] && echo 1)"

# page OUT UPDATES [OPTION]...: one visit to the page; sets page_rc. Its
# waits give up, and say why, when the page stops moving; this one, later,
# when nothing at all moves (the browser's profile, the page's output).
page() {
  local out=$1 updates=$2 quiet=$stall_quiet
  shift 2
  # The browser writes the reports from its own process: it and the
  # controller share one processor, so the controller keeps up.
  stall_quiet=$((quiet * 3 / 2)) stall_poll=1 tvx_on_stall="tail -n 20 $root/tmp/$out"
  stall_run "the page ($out)" "ls -lnR $root/tmp" in_root node "$tvx_top/tests/web/page.mjs" --site "$tvx_site" \
    --hex "$tvx_top/examples/sample.hex" --out /mnt --updates "$updates" --pin-browser 0 --moving /tmp/rx \
    --quiet $((quiet * 1000)) "$@" > $root/tmp/$out 2>&1
  page_rc=$?
  stall_quiet=$quiet stall_poll=0.1 tvx_on_stall=
  [ $page_rc = 0 ] || tail -n 20 $root/tmp/$out > /dev/console
  [ -z "$(field $out STALLED)" ] || stall_report "$(field $out STALLED) (page: $out)"
}
field() { sed -n "s/^$2 //p" "$root/tmp/$1" | head -n 1; }
vc="$tvx_build/tools/virtual-controller/virtual-controller"
cli="$tvx_build/cli/tolvanex-cli"

# The stream the controller must receive: the catalogue's release 1.2.
in_root "$cli" image "$tvx_site/releases/1.2.hex" -o /tmp/image.bin
{ echo 00444f574e4c4f4144; hexdump -v -e '"00" 8/1 "%02x" "\n"' $root/tmp/image.bin; } > /tmp/expect9
tvx_expect "expected stream has 2049 reports" 2049 "$(wc -l < /tmp/expect9)"
checksum=$(in_root "$cli" checksum "$tvx_top/examples/sample.hex")

# No controller: the page says so, and nothing is ever locked. Opened with
# ?version=1.2, which loads that release at once; then 1.1 is refused.
page none none --about --query '?version=1.2' --refused 1.1 --axe "$tvx_build/npm/node_modules/axe-core/axe.min.js"
tvx_expect "page, no controller: visit" 0 "$page_rc"
tvx_expect "page, no controller: title" "Tolvanex Updater para SWITCH Controllers v1.0" "$(field none TITLE)"
tvx_expect "page, no controller: focus on ACTUALIZAR" IDOK "$(field none FOCUS)"
tvx_expect "page, no controller: file name" sample.hex "$(field none FILE)"
tvx_expect "page, no controller: checksum" "$checksum" "$(field none CHECKSUM)"
tvx_expect "page, no controller: nothing typed into the path box" sample.hex "$(field none FILE_AFTER_TYPING)"
tvx_expect "page, no controller: message" "Mando no conectado" "$(field none BOX0)"
tvx_expect "page, no controller: caption" tolvanex-updater "$(field none CAPTION0)"
tvx_expect "page, no controller: never locked" 0 "$(field none LOCKED_SEEN0)"
tvx_expect "page: About box" "Sobre el Updater|OK|v1.0  © 2026 Tolvanex, S.L." "$(field none ABOUT)"
tvx_expect "page: the releases, newest first" '["1.2 30/11/2026","1.1 02/10/2026"]' "$(field none RELEASES)"
tvx_expect "page: notes as text, not markup" 0 "$(field none NOTES_MARKUP)"
tvx_expect "page, ?version=1.2: loaded as a chosen file" "1.2.hex (versión 1.2)|$checksum" "$(field none PRESELECTED)"
sha() { in_root sha256sum "$tvx_site/releases/$1.hex" | cut -c1-64; }
tvx_expect "page: a file that is not the catalogue's refused" \
  "No se ha cargado nada: el archivo de la versión 1.1 no es el que publica el catálogo: su SHA-256 es $(sha 1.1) y el catálogo da $(sha 1.2)" \
  "$(field none REFUSED)"
tvx_expect "page: nothing of it loaded" 0 "$(field none REFUSED_CHANGED)"
tvx_expect "page, no controller: axe-core finds no violation" '[]' "$(field none AXE)"
tvx_expect "page, no controller: only the site's own files" \
  '["/","/firmware.json","/index.html","/releases/1.1.hex","/releases/1.2.hex","/tolvanex-updater-192.png","/tolvanex-updater-512.png","/tolvanex-updater-element.js","/tolvanex-updater-sw.js","/tolvanex-updater.css","/tolvanex-updater.js","/tolvanex-updater.svg","/tolvanex-updater.wasm","/tolvanex-updater.webmanifest"]' \
  "$(field none REQUESTS)"

# One controller for two updates: the whole image, then unplugged at the
# 1,000th report of the second (2,049 + 1,000 reports in all). Then another
# one plugged in, found by the third update without reloading the page.
chroot $root taskset -c 0 "$vc" -q -o /tmp/rx --vanish-after 3049 &
vc_pid=$!
stall_until "the controller's hidraw node" "vmtool wait-hidraw 1 0 > /dev/null 2>&1"
page twice ok,unplug,replug --salir --release 1.2 --plug "taskset -c 0 $vc -q -o /tmp/rx2"
kill -TERM $vc_pid 2>/dev/null
stall_wait "the controller to end" "" $vc_pid
tvx_expect "page: visit" 0 "$page_rc"
tvx_expect "page: the release chosen from the list" "1.2.hex (versión 1.2)" "$(field twice FILE)"
tvx_expect "page: message" "Actualización OK!!!!" "$(field twice BOX0)"
tvx_expect "page: caption" tolvanex-updater "$(field twice CAPTION0)"
tvx_expect "page: every control locked during the transfer" 1 "$(field twice LOCKED_SEEN0)"
tvx_expect "page: controls back before the box" 1 "$(field twice ENABLED_AT_BOX0)"
tvx_expect "page: leaving asks first" beforeunload "$(field twice LEAVE_ASKED0)"
head -n 2049 $root/tmp/rx > /tmp/rx-ok
tvx_expect_same "page: reports received in order" /tmp/expect9 /tmp/rx-ok
tvx_expect "page, unplug: message" "Error sucedido!" "$(field twice BOX1)"
tvx_expect "page, unplug: why" "el mando se ha desconectado" "$(field twice BOX1_REASON)"
tvx_expect "page, unplug: the browser told the page (connects, disconnects)" 0,1 "$(field twice HEARD1)"
tvx_expect "page, unplug: the controller gone no longer held open" 0 "$(field twice GONE_OPEN1)"
tvx_expect "page, unplug: controls back before the box" 1 "$(field twice ENABLED_AT_BOX1)"
tvx_expect "page, unplug: locked during the transfer" 1 "$(field twice LOCKED_SEEN1)"
tail -n +2050 $root/tmp/rx > /tmp/rx-unplug
head -n 1000 /tmp/expect9 > /tmp/want-1000
tvx_expect_same "page, unplug: reports received" /tmp/want-1000 /tmp/rx-unplug
tvx_expect "page, replug: the browser told the page (connects, disconnects)" 1,1 "$(field twice HEARD2)"
tvx_expect "page, replug: the new controller found and updated" "Actualización OK!!!!" "$(field twice BOX2)"
tvx_expect_same "page, replug: reports received in order" /tmp/expect9 $root/tmp/rx2
tvx_expect "page, Salir: started again, no device left open" 0 "$(field twice SALIR_OPEN_DEVICES)"
tvx_expect "page: only the site's own files" \
  '["/","/firmware.json","/index.html","/releases/1.2.hex","/tolvanex-updater-192.png","/tolvanex-updater-512.png","/tolvanex-updater-element.js","/tolvanex-updater-sw.js","/tolvanex-updater.css","/tolvanex-updater.js","/tolvanex-updater.svg","/tolvanex-updater.wasm","/tolvanex-updater.webmanifest"]' \
  "$(field twice REQUESTS)"
tvx_expect "page: nothing on the console" '[]' "$(field twice CONSOLE)"
for f in none twice; do
  tvx_say "PAGE $f: browser $(field $f BROWSER_MS) ms, ready $(field $f READY_MS) ms, checksum $(field $f CHECKSUM_MS) ms (choices missed: $(grep -c '^CHOICE_MISSED' $root/tmp/$f)), boxes $(field $f BOX0_MS) $(field $f BOX1_MS) $(field $f BOX2_MS) ms, closed $(field $f TOTAL_MS) ms"
done
for f in none twice; do cp $root/tmp/$f /tmp/page-$f.txt; done
tvx_expect "screenshots" "web-about.png web-none.png web-ok.png web-replug.png web-unplug.png" \
  "$(cd $root/mnt && ls web-about.png web-none.png web-ok.png web-replug.png web-unplug.png | tr '\n' ' ' | sed 's/ $//')"
# The bar tells the end: full after the update, and after the unplug where
# the transfer stopped, never full: past the 999 data reports received, and
# short of the 32 more that uhid may have taken and dropped with the controller.
tvx_expect "page: bar full at the end" 10000 "$(field twice BAR_AT_BOX0)"
bar=$(field twice BAR_AT_BOX1)
tvx_expect "page, unplug: bar where the transfer stopped ($bar)" 1 \
  "$([ "${bar:-0}" -ge $((998 * 10000 / 2048)) ] && [ "$bar" -le $((1031 * 10000 / 2048)) ] && echo 1)"
