#!/usr/bin/env bash
# The Windows zip and installer, made by CPack from the Windows build and
# signed with a throwaway certificate made here, every signature checked. The
# installer runs silently under wine in a prefix of its own, the installed CLI
# starts; while a program runs from the folder, uninstalling and installing
# elsewhere are refused with nothing changed; installing elsewhere moves the
# copy, and the next install goes there too; the uninstaller runs, and nothing
# of the program may be left, the folders it made included, and nothing else
# goes. What wine cannot show (no UAC) is checked in the generated script.
# Two packagings of one commit give the same bytes, and a program has the
# same bytes in the zip and the installer.
set -euo pipefail
top=${TOLVANEX_TOP:?}
build="$top/build/windows"
cmake -S "$top" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-mingw64.cmake" \
  -DTOLVANEX_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null

fail() { echo "FAIL: $*" >&2; exit 1; }
same() {  # same WHAT EXPECTED ACTUAL
  [ "$2" = "$3" ] || { printf 'expected:\n%s\ngot:\n%s\n' "$2" "$3" >&2; fail "$1"; }
}
files="LICENSE-mingw-w64.txt
LICENSE.txt
README.txt
tolvanex-cli.exe
tolvanex-updater.exe"

work=$(mktemp -d)
export WINEPREFIX="$build/package-prefix"
xpid=
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$xpid" ] && kill "$xpid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A certificate of our own for the release's signing step, trusted by nothing
# but the checks below.
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/sign.key" -out "$work/sign.pem" -days 2 \
  -subj "/CN=Tolvanex prueba/O=Tolvanex S.L." -addext extendedKeyUsage=codeSigning >/dev/null 2>&1
openssl pkcs12 -export -inkey "$work/sign.key" -in "$work/sign.pem" -out "$work/sign.p12" -passout pass:prueba
signed() {  # signed FILE: its signature holds against our certificate
  osslsigncode verify -CAfile "$work/sign.pem" -in "$1" >"$work/verify.log" 2>&1 ||
    { cat "$work/verify.log"; fail "$(basename "$1") is not signed with the release's certificate"; }
}
rm -rf "$build/packages"
(cd "$build" && TOLVANEX_SIGN_PKCS12="$work/sign.p12" TOLVANEX_SIGN_PASSWORD=prueba \
  cpack -G "ZIP;NSIS64" >"$build/cpack-windows.log" 2>&1) || { cat "$build/cpack-windows.log"; fail "cpack"; }
zip=$(echo "$build"/packages/tolvanex-updater-*-win64.zip)
installer=$(echo "$build"/packages/tolvanex-updater-*-win64-setup.exe)
[ -f "$zip" ] && [ -f "$installer" ] || fail "cpack made no zip or no installer"
version=$(sed -n 's/^#define TOLVANEX_VERSION "\(.*\)"$/\1/p' "$build/generated/res/Version.h")
echo "$(basename "$zip"): $(stat -c %s "$zip") bytes; $(basename "$installer"): $(stat -c %s "$installer") bytes"

signed "$installer"
grep -q 'signing WITHOUT A TIME STAMP' "$build/cpack-windows.log" || fail "signing without a time stamp does not warn"
# Unsigned without a certificate, and it says so.
cp "$build/cli/tolvanex-cli.exe" "$work/plain.exe"
env -u TOLVANEX_SIGN_PKCS12 -u TOLVANEX_SIGN_PASSWORD cmake "-DFILE=$work/plain.exe" -P "$top/cmake/SignWindows.cmake" |
  grep -qx -- '-- sign: plain.exe is left UNSIGNED: TOLVANEX_SIGN_PKCS12 and TOLVANEX_SIGN_PASSWORD are not set' ||
  fail "signing without a certificate does not say that it leaves the file unsigned"
cmp -s "$build/cli/tolvanex-cli.exe" "$work/plain.exe" || fail "signing without a certificate changed the file"

# What only Windows shows: the finish page starts the updater through the
# shell of the user who is logged in, not as the elevated installer; the
# licence is there to read, with nothing to accept.
nsi="$build/packages/_CPack_Packages/win64/NSIS64/project.nsi"
launch=$(cat <<'EOF'
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Ejecutar Tolvanex Updater"
!define MUI_FINISHPAGE_RUN_FUNCTION RunAsUser
  Exec '"$WINDIR\explorer.exe" "$INSTDIR\${PROGRAM}"'
EOF
)
same "the finish page's launch" "$launch" "$(grep -e '^!define MUI_FINISHPAGE_RUN' -e '^ *Exec ' "$nsi")"
same "the licence page's button" '!define MUI_LICENSEPAGE_BUTTON "$(^NextBtn)"' \
  "$(grep -e '^!define MUI_LICENSEPAGE_' "$nsi" | grep -v -e TEXT_BOTTOM -e TEXT_TOP)"
# Its header says "Licencia", and no word of it asks for an agreement.
licence_page=$(sed -n '/^!insertmacro MUI_PAGE_WELCOME/,/^!insertmacro MUI_PAGE_LICENSE/p' "$nsi")
grep -qx '!define MUI_PAGE_HEADER_TEXT "Licencia"' <<<"$licence_page" || fail "the licence page's header"
if grep -i -e acuerdo -e acepto -e 'antes de instalar' <<<"$licence_page"; then
  fail "the licence page asks for an agreement"
fi
grep -q 'Windows 7 SP1 con la actualización de firmas SHA-2' "$nsi" || fail "the welcome page names no oldest Windows"
# The buttons of a box are in Windows' language: the text does not lean on their Spanish names alone.
grep -q 'está abierto.*Ciérrelo y vuelva a intentarlo (Reintentar; en un Windows en inglés, Retry)' "$nsi" ||
  fail "the box for a program left open names its buttons only in Spanish"
# The product's own picture, as the script makes it from the icon.
python3 "$top/tools/make-installer-bitmap.py" "$work/side.bmp" >/dev/null
cmp -s "$work/side.bmp" "$top/res/windows/installer-side.bmp" || fail "res/windows/installer-side.bmp is not what tools/make-installer-bitmap.py makes"
for page in MUI_WELCOMEFINISHPAGE_BITMAP MUI_UNWELCOMEFINISHPAGE_BITMAP; do
  grep -qx "!define $page \"$top/res/windows/installer-side.bmp\"" "$nsi" || fail "$page is not the product's picture"
done
echo "the installer signed; the finish page's launch, the licence page and the pictures as they must be"

echo "--- zip"
unzip -q "$zip" -d "$work/zip"
top_dir=$(basename "$zip" .zip)
same "the zip's files" "$files" "$(cd "$work/zip/$top_dir" && ls | LC_ALL=C sort)"
for exe in tolvanex-cli.exe tolvanex-updater.exe; do
  if x86_64-w64-mingw32-objdump -h "$work/zip/$top_dir/$exe" | grep -q '\.debug_'; then fail "$exe is not stripped"; fi
  signed "$work/zip/$top_dir/$exe"
done
grep -q 'winpthreads' "$work/zip/$top_dir/LICENSE-mingw-w64.txt" || fail "no winpthreads notice"
echo "$(cd "$work/zip" && find . -type f | sort | tr '\n' ' ')"

echo "--- the same bytes from the same commit"
# Two unsigned packagings: the second from programs linked again and packed
# under another folder, later. Not a second compile, which would double the
# stage on two cores: what a compile could add, the build's paths, is looked
# for in the programs instead. The time stamps come from the commit.
package_unsigned() {  # package_unsigned DIR
  (cd "$build" && env -u TOLVANEX_SIGN_PKCS12 -u TOLVANEX_SIGN_PASSWORD cpack -G "ZIP;NSIS64" -B "$1" >"$1.log" 2>&1) ||
    { cat "$1.log"; fail "cpack into $1"; }
}
package_unsigned "$work/first"
rm "$build/cli/tolvanex-cli.exe" "$build/app/tolvanex-updater.exe"
cmake --build "$build" -j"$(nproc)" --target tolvanex-cli tolvanex-updater >/dev/null
package_unsigned "$work/second"
for package in "$zip" "$installer"; do
  cmp "$work/first/${package##*/}" "$work/second/${package##*/}" || fail "two builds of one commit differ: ${package##*/}"
done
unzip -q "$work/first/${zip##*/}" -d "$work/unsigned"
for exe in tolvanex-cli.exe tolvanex-updater.exe; do
  if grep -qaF -e "$build" -e "$top" "$work/zip/$top_dir/$exe"; then fail "$exe holds a path of the build"; fi
  osslsigncode remove-signature -in "$work/zip/$top_dir/$exe" -out "$work/bare-$exe" >/dev/null
  cmp "$work/bare-$exe" "$work/unsigned/$top_dir/$exe" || fail "the zip's $exe is not the unsigned one once its signature is removed"
done
echo "two builds: the same zip and installer; the zip's programs, signature removed, the same as unsigned"

echo "--- installer under wine"
# A fresh prefix, so that what the uninstaller leaves is seen against a clean
# one. Wine's menu builder stays off, and HOME is a scratch folder to show it.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export HOME="$work/home"
unset WAYLAND_DISPLAY
mkdir -p "$HOME"
# The updater window needs a display to stay open; the installers show nothing.
. "$top/tools/private-display.sh" 1024x768x24
# Waits that last while things move (a minute when nothing shows progress).
. "$top/tools/vm/stall.sh"
rm -rf "$WINEPREFIX"
timeout 600 wineboot -i </dev/null >"$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log"; fail "wineboot"; }
timeout 600 wineserver -w

drive_c="$WINEPREFIX/drive_c"
dir_name='Tolvanex Updater'
install_dir="$drive_c/Program Files/$dir_name"
win_dir="C:\\Program Files\\$dir_name"
menu_entry="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/$dir_name.lnk"
uninst_key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$dir_name"
# Everything in the prefix but the temporary folders, which wine itself fills.
snapshot() { (cd "$drive_c" && find . | grep -Eiv '^\./(windows/temp|users/[^/]+/(AppData/Local/)?Temp)(/|$)' | LC_ALL=C sort); }
snapshot >"$work/before"
reg_value() {  # reg_value NAME: that value of the uninstall entry, or nothing
  wine reg query "$uninst_key" /v "$1" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_[A-Z_]* *//p"
}

timeout 900 wine "$installer" /S </dev/null >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "the installer failed"; }
same "installed files" "$files
uninstall.exe" "$(cd "$install_dir" && ls | LC_ALL=C sort)"
[ -f "$menu_entry" ] || fail "no Start-menu entry"
same "Apps & features: name" "$dir_name" "$(reg_value DisplayName)"
same "Apps & features: version" "$version" "$(reg_value DisplayVersion)"
same "Apps & features: publisher" "Tolvanex, S.L." "$(reg_value Publisher)"
same "Apps & features: icon" "\"$win_dir\\tolvanex-updater.exe\",0" "$(reg_value DisplayIcon)"
same "Apps & features: uninstaller" "\"$win_dir\\uninstall.exe\"" "$(reg_value UninstallString)"
for exe in tolvanex-cli.exe tolvanex-updater.exe uninstall.exe; do signed "$install_dir/$exe"; done
for exe in tolvanex-cli.exe tolvanex-updater.exe; do
  cmp "$install_dir/$exe" "$work/zip/$top_dir/$exe" || fail "$exe differs between the installer and the zip"
done
echo "installed: $(cd "$install_dir" && ls | tr '\n' ' '); the installer, the zip's and the installed programs and the uninstaller signed"
echo "Start menu: ${menu_entry#"$drive_c"/}; Apps & features: $(reg_value DisplayName) $(reg_value DisplayVersion)"

same "the installed tolvanex-cli --version" "tolvanex-cli $version" \
  "$(timeout 120 wine "$win_dir\\tolvanex-cli.exe" --version </dev/null 2>/dev/null | tr -d '\r')"
echo "installed tolvanex-cli --version: tolvanex-cli $version"

# While a program of the folder runs, neither the uninstaller nor an install
# elsewhere may touch the folder: they end with code 2 and all stays. The
# uninstaller runs in place (_?=), as the installer runs the old one, so that
# its code is seen; cmd passes that argument unquoted, as it must be.
other_win='C:\a\b\Tolvanex'  # a and b are made by the installer
other_dir="$drive_c/a/b/Tolvanex"
printf '@"%s\\uninstall.exe" /S _?=%s\r\n@exit /b %%ERRORLEVEL%%\r\n' "$win_dir" "$win_dir" >"$work/uninstall-here.bat"
cp "$top/examples/sample.hex" "$work/sample.hex"
installed_state() {  # the files, the Start-menu entry, the uninstall entry, the other folder
  (cd "$install_dir" && ls); ls "$menu_entry"; reg_value InstallLocation; ls "$other_dir" 2>&1 || true
}
state_before=$(installed_state)
while read -r action program; do
  case $program in
    tolvanex-updater.exe) args=() ;;
    tolvanex-cli.exe) args=(flash --wait "Z:${work//\//\\}\\sample.hex") ;;  # no controller: it waits
  esac
  (cd "$work" && exec wine "$win_dir\\$program" "${args[@]}" </dev/null >"$work/program.log" 2>&1) &
  program_pid=$!
  if [ "$program" = tolvanex-updater.exe ]; then
    timeout 60 xdotool search --sync --name '^Tolvanex Updater para SWITCH Controllers v1\.0$' >/dev/null ||
      { cat "$work/program.log"; fail "$program did not open"; }
  else
    stall_until "$program to wait for the controller" "grep -q esperando '$work/program.log'" ||
      { cat "$work/program.log"; fail "$program did not wait for the controller"; }
  fi
  kill -0 "$program_pid" 2>/dev/null || { cat "$work/program.log"; fail "$program did not keep running"; }
  status=0
  case $action in
    uninstall) timeout 900 wine cmd /c "Z:${work//\//\\}\\uninstall-here.bat" </dev/null >"$work/run.log" 2>&1 || status=$? ;;
    install-elsewhere) timeout 900 wine "$installer" /S "/D=$other_win" </dev/null >"$work/run.log" 2>&1 || status=$? ;;
  esac
  kill "$program_pid"
  wait "$program_pid" || true
  [ "$status" -eq 2 ] || { cat "$work/run.log"; fail "$action while $program runs: code $status, not 2"; }
  same "$action while $program runs: what is installed" "$state_before" "$(installed_state)"
  echo "$action while $program runs: refused (code 2), nothing changed"
done <<'EOF'
uninstall tolvanex-updater.exe
install-elsewhere tolvanex-cli.exe
EOF

# Elsewhere: the first copy goes with its entry, the new one takes its place,
# and the next install, told no folder, takes the one remembered.
for run in elsewhere again; do
  if [ "$run" = elsewhere ]; then set -- "/D=$other_win"; else set --; fi
  timeout 900 wine "$installer" /S "$@" </dev/null >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "install $run"; }
  [ ! -e "$install_dir" ] || fail "install $run: the first copy is left: $(ls -A "$install_dir" | tr '\n' ' ')"
  same "install $run: files" "$files
uninstall.exe" "$(cd "$other_dir" && ls | LC_ALL=C sort)"
  same "install $run: Apps & features" "$other_win $other_win\\uninstall.exe C:\\a" \
    "$(reg_value InstallLocation) $(reg_value UninstallString | tr -d '"') $(reg_value MadeFrom)"
  [ -f "$menu_entry" ] || fail "install $run: no Start-menu entry"
done
echo "installed elsewhere: the first copy removed; installed again: into $other_win, the folder remembered"
win_dir=$other_win
install_dir=$other_dir

# As "Apps & features" runs it: the uninstaller copies itself to %TEMP%,
# starts the copy and returns at once; the copy removes everything, the
# uninstaller itself and its folder included. Wait until no process is left.
timeout 900 wine "$win_dir\\uninstall.exe" /S </dev/null >"$work/uninstall.log" 2>&1 ||
  { cat "$work/uninstall.log"; fail "the uninstaller failed"; }
# The server also writes the registry out when it ends.
timeout 900 wineserver -w || fail "wine did not end after uninstalling"
[ ! -e "$install_dir" ] || fail "left in $win_dir: $(ls -A "$install_dir" | tr '\n' ' ')"
[ ! -e "$menu_entry" ] || fail "the Start-menu entry is left"
if grep -il tolvanex "$WINEPREFIX"/*.reg; then fail "the registry still names the program"; fi
same "the prefix after uninstalling" "$(cat "$work/before")" "$(snapshot)"
if [ -n "$(find "$HOME" -iname '*tolvanex*')" ]; then fail "wine put menu files into HOME"; fi
echo "uninstalled: no file, folder (a and b included), menu entry or registry value of the program is left"

# Only the folders that the installer made go, and only when they are empty:
# a that was there before stays; so does b with a file of the user's in it.
while read -r there_before users_file want; do
  [ "$there_before" = - ] || mkdir "$drive_c/$there_before"
  timeout 300 wine "$installer" /S "/D=$other_win" </dev/null >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "install"; }
  [ "$users_file" = - ] || touch "$drive_c/$users_file"
  timeout 300 wine "$win_dir\\uninstall.exe" /S </dev/null >"$work/uninstall.log" 2>&1 || { cat "$work/uninstall.log"; fail "uninstall"; }
  timeout 300 wineserver -w || fail "wine did not end after uninstalling"
  same "left with $there_before there before and the file $users_file" "$want" \
    "$(cd "$drive_c" && find a 2>/dev/null | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//')"
  rm -r "$drive_c/a"
  echo "installed into $other_win with $there_before there before and the user's file $users_file; uninstalled: $want left"
done <<'EOF'
a - a
- a/b/nota.txt a a/b a/b/nota.txt
EOF
same "the prefix at the end" "$(cat "$work/before")" "$(snapshot)"
