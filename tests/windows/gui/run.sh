#!/usr/bin/env bash
# The updater window under wine on a private X server, driven by xdotool as a
# user drives it (keys and clicks), and watched by winprobe from another
# process.
#
#   run.sh start  UPDATER FAKEHID PROBE HEX OUTDIR LOCALES   the real exe: size, texts, boxes, About, Enter
#   run.sh update UPDATER FAKEHID PROBE HEX OUTDIR LOCALES   whole updates over the in-memory HID stack
#   run.sh dpi    UPDATER - PROBE HEX OUTDIR -                the real exe at 96, 144 and 192 DPI: size and
#                                                           place; the dialogs at each DPI, in-process
#   run.sh device UPDATER - PROBE HEX OUTDIR -                the real exe against the controller that the
#                                                           caller plugged in and made to vanish at the 1,000th
#                                                           report of the second update, on the caller's X
#                                                           server and wine server (the VM test)
#
# start and update run under a code page other than 1252 (Greek, Chinese), with
# a HEX file whose name that code page cannot spell.
set -euo pipefail
scenario=$1 updater=$2 fakehid=$3 probe=$4 hex=$5 out=$6 locales=$7

fail() {
  echo "FAIL: $*" >&2
  [ -n "${DISPLAY:-}" ] && import -window root "$out/tolvanex-wine-$scenario-failure.png" 2>/dev/null || true
  exit 1
}
expect() {  # expect LINE FILE: the probe printed exactly this line
  grep -qxF -- "$1" "$2" || { cat "$2" >&2; fail "no line '$1'"; }
}

work=$(mktemp -d)
xpid=
own=1  # our own X server and wine server
patience=10  # seconds for a click's effect to show
if [ "$scenario" = device ]; then own=0 patience=30; fi
cleanup() {
  # Nothing of wine may stay tied to a display that is about to go.
  [ $own = 0 ] || wineserver -k >/dev/null 2>&1 || true
  [ -n "$xpid" ] && kill "$xpid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
if [ "$scenario" = dpi ]; then
  # A prefix of its own: the rows take the template's face away and give it back.
  export WINEPREFIX="$out/gui-dpi-prefix"
  if [ ! -f "$WINEPREFIX/.booted" ]; then
    (unset DISPLAY && WINEDLLOVERRIDES="mscoree,mshtml=" timeout 600 wineboot -i && timeout 600 wineserver -w) \
      </dev/null >"$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log"; fail "no wine prefix"; }
    touch "$WINEPREFIX/.booted"
  fi
fi
if [ $own = 1 ]; then
  # The prefix's desktop process must start on our display, not on none.
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  # A display of our own, whatever else runs.
  . "$(dirname "$0")/../../../tools/private-display.sh" 1280x1024x24
fi
# Waits that last while things move; a probe's own wait for something that
# shows no progress on the way lasts a minute (winprobe's SECONDS).
. "$(dirname "$0")/../../../tools/vm/stall.sh"

# A fresh prefix has no face for "宋体" (the dpi rows set theirs). Without a
# window manager wine draws the frame and caption itself only when told to, and
# moves the keyboard focus itself only without the window manager's take-focus
# protocol.
[ "$scenario" = dpi ] ||
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v '宋体' /t REG_SZ /d 'AR PL UMing CN' /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v UseTakeFocus /t REG_SZ /d N /f >/dev/null 2>&1
# The screen's DPI, which a program reads when it starts; the dpi scenario changes it.
set_dpi() { wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1; }
[ $own = 0 ] || set_dpi 96

case $scenario in
  start) locale=el_GR name='прошивка.hex' ;;
  update) locale=zh_CN name='ñandú.hex' ;;
  device | dpi) locale=C name='muestra.hex' ;;  # C: no letters beyond ASCII typed
  *) fail "unknown scenario $scenario" ;;
esac
# Wine takes its code page from the locale and names Unix files in the
# locale's character set: a real UTF-8 locale, built for the tests alone.
if [ "$locale" != C ] && [ ! -e "$locales/$locale.UTF-8" ]; then
  mkdir -p "$locales"
  localedef -i "$locale" -f UTF-8 "$locales/$locale.UTF-8" || true
fi
[ "$locale" = C ] || [ -e "$locales/$locale.UTF-8" ] || fail "localedef $locale.UTF-8 failed (Debian package locales)"
[ "$locale" = C ] || export LOCPATH=$locales
export LANG=$locale.UTF-8 LC_ALL=$locale.UTF-8
cp "$hex" "$work/$name"
sum=$(wine "$(dirname "$updater")/../cli/tolvanex-cli.exe" checksum "$hex" | tr -d '\r')

probe() { wine "$probe" "$@" | tr -d '\r'; }
key() { xdotool key --clearmodifiers "$@"; sleep 0.3; }
click() { xdotool mousemove --sync "$1" "$2" click 1; sleep 0.3; }
field() {  # field PREFIX FILE: what follows "PREFIX " on its first line
  sed -n "s/^$1 //p" "$2" | head -n 1
}
shot() {  # shot PNG "x y w h": that part of the screen
  set -- "$1" $2
  import -window root -crop "${4}x${5}+${2}+${3}" +repage "$1"
}
# Under wine without a window manager, a click that comes soon after a modal
# window has gone can be lost: press again until the probe sees the effect.
press_control() {  # press_control ID PROBE-ARGS...: clicks the control until the probe succeeds
  local id=$1 at
  shift
  for _ in 1 2 3 4 5; do
    probe state >"$work/now" || fail "no dialog"
    at=$(sed -n "s/^NOW_CONTROL $id \([0-9-]*\) \([0-9-]*\) .*/\1 \2/p" "$work/now" | head -n 1)
    [ -n "$at" ] || fail "no control $id"
    click $at
    probe "$@" && return 0
  done
  return 1
}
click_button() {  # click_button FILE [TEXT]: a button of the box that FILE describes (the first one)
  local at
  at=$(sed -n "s/^BOX_BUTTON \([0-9-]*\) \([0-9-]*\) ${2:-.*}\$/\1 \2/p" "$1" | head -n 1)
  [ -n "$at" ] || { cat "$1" >&2; fail "no button ${2:-}"; }
  click $at
  # A user waits for the box to go, and the update that showed it with it.
  stall_until "the box to go" "calm"
}
calm() {  # no box, and every control enabled again
  ! probe box 0 >/dev/null && probe state >"$work/calm" && grep -q '^NOW_CONTROLS 10 ENABLED 10 ' "$work/calm"
}
take_keyboard() {  # a click on the dialog's title bar: after a box has gone, keys need it
  set -- $(field WINDOW "$work/window")
  click $(($1 + $3 / 2)) $(($2 + 8))
}
start_exe() {  # start_exe EXE [VAR=VALUE...]
  local exe=$1
  shift
  (cd "$work" && env "$@" wine "$exe" >"$work/exe.log" 2>&1) &
  probe wait 60 >"$work/window" || fail "no window"
  stall_until "the window's controls" "calm"
}
choose_file() {  # Abrir HEX, type the file's full path where the file dialog asks for it, Enter
  # xdotool types a letter that the keyboard lacks on a key it binds for a
  # moment only: type again until the file name box holds the whole path. A
  # busy wine may still read a key late, and the name comes out wrong: the
  # window cannot open it, and the user chooses it again.
  local path="Z:${work//\//\\}\\$name"
  for _ in 1 2 3 4 5; do
    press_control 1001 box "$patience" >"$work/files" || fail "no file dialog"
    grep -qx 'BOX_CAPTION Abrir HEX' "$work/files" || { cat "$work/files" >&2; fail "the file dialog's title"; }
    set -- $(field BOX_WINDOW "$work/files")
    click $(($1 + $3 / 2)) $(($2 + 8))  # its title bar
    for _ in 1 2 3 4 5; do
      key End shift+Home  # what is there gets replaced
      xdotool type --delay 80 "$path"
      probe box 10 >"$work/typed" || fail "the file dialog went"
      grep -qxF "BOX_EDIT $path" "$work/typed" && break
    done
    key Return
    stall_until "the file to load" "file_settled" || fail "the file did not load"
    [ -s "$work/after" ] || break
    click_button "$work/after"
  done
  grep -q "^NOW_CONTROL 1000 .*${name}\$" "$work/state" || { cat "$work/state" >&2; fail "path not shown"; }
  grep -q "^NOW_CONTROL 1004 .* ${sum}\$" "$work/state" || { cat "$work/state" >&2; fail "checksum not shown"; }
}
type_path() {  # type_path TEXT: TEXT in the path box in place of what it held, then Enter
  local at
  for _ in 1 2 3 4 5; do
    take_keyboard
    probe state >"$work/now" || fail "no dialog"
    at=$(sed -n "s/^NOW_CONTROL 1000 \([0-9-]*\) \([0-9-]*\) .*/\1 \2/p" "$work/now" | head -n 1)
    click $at
    key End shift+Home
    xdotool type --delay 80 "$1"
    probe state >"$work/now" || fail "no dialog"
    grep -qxF "NOW_CONTROL 1000 $at $1" "$work/now" && break
  done
  key Return
}
file_settled() {  # the file dialog gone and the file loaded, or a box saying it cannot be opened ($work/after)
  if probe box 0 >"$work/after"; then
    grep -q '^BOX_TEXT No se puede abrir' "$work/after"
  else
    : >"$work/after"
    probe state >"$work/state" && grep -q '^NOW_CONTROL 1004 .* [0-9A-F]\{4\}$' "$work/state"
  fi
}

if [ "$scenario" = dpi ]; then
  # Each row on a fresh X server and wine server: both read the DPI and the
  # screen when they start. The client grows with the DPI from its size at
  # 96 (what the dialog manager makes of the template there); too large for
  # the screen, the dialog is laid out smaller, inside it. The rows come
  # twice: with the template's face "宋体" given another installed face by
  # the system's FontSubstitutes, as on a Chinese Windows, and with no such
  # face, as on a fresh Western one, where the system picks a substitute.
  # On each screen, first WM_DPICHANGED in-process: the controls, their
  # fonts and their texts, in both dialogs.
  substitutes='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
  set_face() {
    if [ "$1" = alias ]; then
      wine reg add "$substitutes" /v '宋体' /t REG_SZ /d 'AR PL UMing CN' /f >/dev/null 2>&1
    else
      wine reg delete "$substitutes" /v '宋体' /f >/dev/null 2>&1 || true
    fi
  }
  shown=1280x1024
  declare -A base96
  while read -r dpi screen face; do
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    if [ "$screen" != "$shown" ]; then
      kill "$xpid"
      . "$(dirname "$0")/../../../tools/private-display.sh" "${screen}x24"
      shown=$screen
    fi
    set_face "$face"
    set_dpi "$dpi"
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    if [ "$dpi" = 96 ]; then
      wine "$(dirname "$probe")/windows_resources_test.exe" --gtest_filter='*Dpi*' </dev/null | tr -d '\r' >"$work/gtest" ||
        true
      grep -q '^\[  PASSED  \] 1 test' "$work/gtest" || { cat "$work/gtest" >&2; fail "the dialogs at each DPI, $screen, $face"; }
    fi
    # A wine that starts while the machine is busy can miss the X screen's
    # size and take its default of 1024 x 768: that start is made again.
    for _ in 1 2 3; do
      start_exe "$updater"
      probe size "$updater" >"$work/size" || fail "no dialog to measure at $dpi DPI"
      [ "$(field WORKAREA "$work/size" | awk '{print $3 "x" $4}')" = "$screen" ] && break
      echo "$dpi DPI, $screen, $face: wine saw the screen as $(field WORKAREA "$work/size"); started again"
      probe close
      probe gone 10 || true
      wineserver -k >/dev/null 2>&1 || true
      wineserver -w >/dev/null 2>&1 || true
    done
    [ "$(field WORKAREA "$work/size" | awk '{print $3 "x" $4}')" = "$screen" ] || fail "wine never saw the screen as $screen"
    if [ "$dpi" = 96 ]; then
      read -r full96_w full96_h <<<"$(field MAPPED "$work/size")"
      base96[$face]=$(field BASE "$work/size")
    fi
    read -r client_w client_h <<<"$(field CLIENT "$work/size")"
    read -r left top right bottom <<<"$(field WORKAREA "$work/size")"
    read -r x y w h <<<"$(field WINDOW "$work/window")"
    full_w=$((full96_w * dpi / 96)) full_h=$((full96_h * dpi / 96))
    echo "$dpi DPI, $screen, $face: client $client_w x $client_h (in proportion: $full_w x $full_h)," \
      "window $w x $h at $x $y, work area $left $top $right $bottom"
    [ "$x" -ge "$left" ] && [ "$y" -ge "$top" ] && [ $((x + w)) -le "$right" ] && [ $((y + h)) -le "$bottom" ] ||
      fail "$dpi DPI, $screen, $face: the window is not inside the work area"
    if [ $((full_w + w - client_w)) -le $((right - left)) ] && [ $((full_h + h - client_h)) -le $((bottom - top)) ]; then
      [ $((client_w - full_w)) -ge -2 ] && [ $((client_w - full_w)) -le 2 ] &&
        [ $((client_h - full_h)) -ge -2 ] && [ $((client_h - full_h)) -le 2 ] ||
        fail "$dpi DPI, $screen, $face: client $client_w x $client_h, not $full_w x $full_h"
    else
      [ "$client_w" -lt "$full_w" ] || fail "$dpi DPI, $screen, $face: too large, yet not laid out smaller"
    fi
    shot "$out/tolvanex-updater-wine-$dpi-dpi-$screen-$face.png" "$x $y $w $h"
    # The About box, from the system menu: inside the work area too.
    probe menu 0x10
    probe about 10 >"$work/about" || fail "no About box at $dpi DPI, $screen, $face"
    read -r ax ay aw ah <<<"$(field BOX_WINDOW "$work/about")"
    echo "  About: $aw x $ah at $ax $ay"
    [ "$ax" -ge "$left" ] && [ "$ay" -ge "$top" ] && [ $((ax + aw)) -le "$right" ] && [ $((ay + ah)) -le "$bottom" ] ||
      fail "$dpi DPI, $screen, $face: the About box is not inside the work area"
    click_button "$work/about" OK
    probe close
    probe gone 10 || fail "the dialog did not close at $dpi DPI"
  done <<'ROWS'
96 1280x1024 alias
144 1280x1024 alias
192 1280x1024 alias
192 1024x768 alias
96 800x600 alias
144 800x600 alias
192 800x600 alias
96 640x480 alias
144 640x480 alias
192 640x480 alias
96 1280x1024 none
144 1280x1024 none
192 1280x1024 none
96 800x600 none
144 800x600 none
192 800x600 none
96 640x480 none
144 640x480 none
192 640x480 none
ROWS
  # Otherwise the rows measured one face twice.
  [ "${base96[alias]}" != "${base96[none]}" ] || fail "the same base units with and without the face: ${base96[alias]}"
  set_dpi 96
elif [ "$scenario" = start ]; then
  start_exe "$updater"
  probe size "$updater" >"$work/size" || fail "no dialog to measure"
  cat "$work/size"
  expect 'CLASS #32770' "$work/size"
  expect "CLIENT $(field MAPPED "$work/size")" "$work/size"
  set -- $(field WINDOW "$work/window")  # centred on the 1280 x 1024 screen
  [ $((2 * $1 + $3 - 1280)) -ge -1 ] && [ $((2 * $1 + $3 - 1280)) -le 1 ] &&
    [ $((2 * $2 + $4 - 1024)) -ge -1 ] && [ $((2 * $2 + $4 - 1024)) -le 1 ] || fail "not centred: $*"
  shot "$out/tolvanex-updater-wine.png" "$(field WINDOW "$work/window")"

  key Return  # ACTUALIZAR, the default button, with no file chosen
  probe box >"$work/box" || fail "no box for ACTUALIZAR without a file"
  expect 'BOX_TEXT Debes elegir un archivo' "$work/box"
  expect "BOX_CAPTION $(basename "$updater" .exe)" "$work/box"
  click_button "$work/box"  # the system's own OK, in the system's language

  choose_file
  # ACTUALIZAR; the prefix's own HID devices are no controller.
  press_control 1 box 10 >"$work/box" || fail "no box for ACTUALIZAR without a controller"
  expect 'BOX_TEXT Mando no conectado' "$work/box"
  expect 'AT_BOX_CONTROLS 10 ENABLED 10 BAR 0 RANGE 0 100' "$work/box"
  click_button "$work/box"  # the system's own OK, in the system's language

  # What the window shows is what it sends: Enter with another path in the
  # box loads that path and sends nothing; the next Enter sends. A path
  # without its folder is refused.
  printf ':0100000001FE\n:00000001FF\n' >"$work/tecleado.hex"
  type_path tecleado.hex
  probe box 10 >"$work/box" || fail "no box for a path without its folder"
  expect 'BOX_TEXT No se puede abrir el archivo' "$work/box"
  expect 'escriba la ruta completa' "$work/box"
  click_button "$work/box"
  type_path "Z:${work//\//\\}\\tecleado.hex"
  stall_until "the typed file to load" "probe state >'$work/state' && grep -q '^NOW_CONTROL 1004 .* BF02\$' '$work/state'" ||
    fail "the typed file did not load"
  ! probe box 0 >"$work/box" || fail "a box, not the typed file loaded: $(cat "$work/box")"
  key Return
  probe box 10 >"$work/box" || fail "no box for Enter on the typed file"
  expect 'BOX_TEXT Mando no conectado' "$work/box"
  click_button "$work/box"

  # The real system menu, from the keyboard; its last item is ours.
  set -- $(field WINDOW "$work/window")
  for _ in 1 2 3 4 5; do
    click $(($1 + $3 / 2)) $(($2 + 8))  # the title bar: the dialog takes the keyboard
    key alt+space
    key Up Return
    probe about 10 >"$work/about" && break
  done
  [ -s "$work/about" ] || fail "no About box from the system menu"
  cat "$work/about"
  expect 'BOX_TEXT v1.0  © 2026 Tolvanex, S.L.' "$work/about"
  shot "$out/tolvanex-about-wine.png" "$(field BOX_WINDOW "$work/about")"
  click_button "$work/about" OK

  # Enter presses the push button that has the focus, ACTUALIZAR elsewhere;
  # only "Salir" closes.
  while read -r id does; do
    take_keyboard
    for _ in 1 2 3 4 5; do  # Tab until the control has the focus
      probe state >"$work/now" || fail "no dialog"
      [ "$(field NOW_FOCUS "$work/now")" = "$id" ] && break
      key Tab
    done
    [ "$(field NOW_FOCUS "$work/now")" = "$id" ] || { cat "$work/now" >&2; fail "Tab never reached control $id"; }
    key Return
    case $does in
      files)
        probe box 60 >"$work/enter" || fail "Enter on control $id opened nothing"
        if grep -q '^BOX_TEXT \(Mando no conectado\|Debes elegir un archivo\)$' "$work/enter"; then
          fail "Enter on control $id started an update"
        fi
        key Escape  # the file dialog's own
        stall_until "the file dialog to go" "calm"
        ;;
      update)
        probe box 60 >"$work/enter" || fail "Enter on control $id showed no box"
        expect 'BOX_TEXT Mando no conectado' "$work/enter"
        click_button "$work/enter"
        ;;
      close) probe gone 60 || fail "Enter on control $id did not close the dialog" ;;
    esac
    echo "Enter on control $id: $does"
  done <<'EOF'
1001 files
1000 update
2 close
EOF
  start_exe "$updater"
  key Escape
  probe gone 60 || fail "Escape did not close the dialog"
else
  # update: TVX_UNPLUG_AT fails the in-memory stack's 1,000th report; device:
  # the caller's controller vanishes there.
  for unplug in none 1000; do
    if [ "$scenario" = device ]; then
      start_exe "$updater"
    elif [ "$unplug" = none ]; then
      start_exe "$fakehid"
    else
      start_exe "$fakehid" TVX_UNPLUG_AT="$unplug"
    fi
    choose_file
    echo "file chosen; ACTUALIZAR"
    # The watcher's wait lasts while the bar moves.
    wine "$probe" watch 60 >"$work/watch.raw" &
    watcher=$!
    stall_until "the watcher to start" "grep -q WATCHING '$work/watch.raw'"
    press_control 1 busy "$patience" || fail "ACTUALIZAR started nothing"
    key Escape  # closing is refused while the update runs: Escape and the close box
    probe close
    wait "$watcher" || { tr -d '\r' <"$work/watch.raw" >&2; fail "no result box"; }
    tr -d '\r' <"$work/watch.raw" >"$work/watch"
    cat "$work/watch"
    moving=$(field MOVING "$work/watch")
    locked=$(field MOVING_LOCKED "$work/watch")
    # The last sample may fall between the last tick and the unlocking.
    [ "$moving" -ge 3 ] && [ "$locked" -ge $((moving - 1)) ] || fail "controls not locked while the bar moved"
    # The bar tells the end: full after a success; after the unplug, where the
    # transfer stopped (data report 999 failed: the counter after report 998).
    bar=$(sed -n 's/^AT_BOX_CONTROLS [0-9]* ENABLED [0-9]* BAR \([0-9-]*\) .*/\1/p' "$work/watch")
    if [ "$unplug" = none ]; then
      expect 'BOX_TEXT Actualización OK!!!!' "$work/watch"
      [ "$bar" = 10000 ] || fail "the bar at $bar after a success"
    else
      expect 'BOX_TEXT Error sucedido!' "$work/watch"
      [ "$(field BAR_BELOW_FULL "$work/watch")" -le $((unplug * 10000 / 2048)) ] || fail "the bar went past the unplug"
      if [ "$scenario" = update ]; then
        expect 'el mando se ha desconectado' "$work/watch"
        [ "$bar" = $(((unplug - 2) * 10000 / 2048)) ] || fail "the bar at $bar after the unplug"
      else
        [ "$bar" -lt 10000 ] || fail "the bar full after the unplug"
      fi
    fi
    grep -q '^AT_BOX_CONTROLS 10 ENABLED 10 ' "$work/watch" || fail "controls not back before the box"
    click_button "$work/watch"
    press_control 2 gone "$patience" || fail "Salir did not close the dialog after the update"
  done
fi
echo "PASS $scenario"
