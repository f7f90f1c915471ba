#!/usr/bin/env bash
# The page in a browser without WebHID (Chromium with it switched off, as
# Firefox and Safari are): it still reads the file and shows the checksum,
# says once what it needs, and ACTUALIZAR ends with "Mando no conectado".
# Once with a catalogue that is not one, which the page tells while the
# user's own file still works; once with none, which shows nothing of it.
#   without-hid.sh SITE HEX CHECKSUM OUTDIR
set -uo pipefail
site=${1:?} hex=${2:?} checksum=${3:?} out=${4:?}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '%s' '{"format":1,"releases":[{"version":"1.2","date":"2026-11-30","file":"../1.2.hex","sha256":"'"$(printf '%064d' 0)"'","notes":""}]}' \
  > "$work/firmware.json"
failed=0
check() {
  if [ "$2" = "$3" ]; then echo "ok: $1"; else echo "FAIL: $1: want '$2', got '$3'"; failed=1; fi
}
for catalogue in "$work/firmware.json" none; do
  result=$(node "$here/page.mjs" --site "$site" --hex "$hex" --out "$out" --updates none --port 0 --shots web-without-hid- \
    --chromium-arg=--disable-blink-features=WebHID --catalogue "$catalogue")
  rc=$?
  echo "$result"
  field() { echo "$result" | sed -n "s/^$1 //p" | head -n 1; }
  check "visit" 0 "$rc"
  check "checksum" "$checksum" "$(field CHECKSUM)"
  check "notice" "Este navegador no puede comunicarse con el mando (le falta WebHID). Para actualizarlo, use Chrome, Edge u Opera en Windows, macOS, Linux o ChromeOS. Aquí puede abrir un archivo HEX y ver su checksum." "$(field NOTICE)"
  check "message" "Mando no conectado" "$(field BOX0)"
  check "notice said once" 1 "$(echo "$result" | grep -c '^NOTICE ')"
  if [ "$catalogue" = none ]; then
    check "no catalogue: nothing of it on the page" 0 "$(field PANEL)"
  else
    check "a catalogue that is not one: told" "El catálogo de versiones de este sitio (firmware.json) no es válido: publicación 1 (versión 1.2): «file» sale de la carpeta del catálogo («..»). Puede abrir su propio archivo con «Abrir HEX»." "$(field STATUS)"
    check "a catalogue that is not one: no list" '[]' "$(field RELEASES)"
  fi
done
exit $failed
