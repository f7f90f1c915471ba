#!/usr/bin/env bash
# The page in a browser without WebHID (Chromium with it switched off, as
# Firefox and Safari are): it still reads the file and shows the checksum,
# says once what it needs, and ACTUALIZAR ends with "Mando no conectado".
#   without-hid.sh SITE HEX CHECKSUM OUTDIR
set -uo pipefail
site=${1:?} hex=${2:?} checksum=${3:?} out=${4:?}
here=$(cd "$(dirname "$0")" && pwd)
result=$(node "$here/page.mjs" --site "$site" --hex "$hex" --out "$out" --updates none --port 0 --shots web-without-hid- \
  --chromium-arg=--disable-blink-features=WebHID)
rc=$?
echo "$result"
field() { echo "$result" | sed -n "s/^$1 //p" | head -n 1; }
failed=0
check() {
  if [ "$2" = "$3" ]; then echo "ok: $1"; else echo "FAIL: $1: want '$2', got '$3'"; failed=1; fi
}
check "visit" 0 "$rc"
check "checksum" "$checksum" "$(field CHECKSUM)"
check "notice" "Este navegador no puede comunicarse con el mando (le falta WebHID). Para actualizarlo, use Chrome, Edge u Opera en Windows, macOS, Linux o ChromeOS. Aquí puede abrir un archivo HEX y ver su checksum." "$(field NOTICE)"
check "message" "Mando no conectado" "$(field BOX0)"
check "notice said once" 1 "$(echo "$result" | grep -c '^NOTICE ')"
exit $failed
