#!/usr/bin/env bash
# The .deb, made by CPack from the native build: checked by lintian,
# appstreamcli and desktop-file-validate; then installed with apt-get (which
# pulls its dependencies), run from /usr/bin and purged in a throwaway root
# (tools/throwaway-root.sh), so that the host's packages stay as they were;
# after the purge nothing of it may be left.
set -euo pipefail
fail() { echo "FAIL: $*" >&2; exit 1; }

# The part that installs: run by the stage in a throwaway root, as root, with
# the .deb and the repository where they are on the host.
if [ "${1:-}" = --in-throwaway-root ]; then
  deb=$2 top=$3
  version=$(dpkg-deb -f "$deb" Version)
  export DEBIAN_FRONTEND=noninteractive
  work=$(mktemp -d)
  echo "--- install"
  package_status() { dpkg-query -W -f='${Status}' tolvanex-updater 2>/dev/null || true; }
  # This machine's own copy, if it has one, goes first (in the throwaway root only).
  if [ -n "$(package_status)" ] && [[ "$(package_status)" != *not-installed ]]; then
    apt-get purge -y -qq tolvanex-updater >/dev/null
  fi
  apt-get install -y -qq --no-install-recommends "$deb" >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log"; fail "apt-get install"; }
  [ "$(dpkg-query -W -f='${Status} ${Version}' tolvanex-updater)" = "install ok installed $version" ] ||
    fail "dpkg does not list tolvanex-updater $version as installed"

  [ "$(command -v tolvanex-cli)" = /usr/bin/tolvanex-cli ] || fail "tolvanex-cli is not /usr/bin/tolvanex-cli"
  [ "$(tolvanex-cli --version)" = "tolvanex-cli $version" ] || fail "tolvanex-cli --version: $(tolvanex-cli --version)"
  echo "tolvanex-cli --version: $(tolvanex-cli --version)"
  if command -v man >/dev/null; then
    [ "$(man -w tolvanex-cli)" = /usr/share/man/man1/tolvanex-cli.1.gz ] || fail "man -w tolvanex-cli: $(man -w tolvanex-cli 2>&1)"
    echo "man tolvanex-cli: $(man -w tolvanex-cli)"
  fi

  # The installed window on a private X server: it must come up with its
  # caption and end with status 0 when Escape closes it.
  . "$top/tools/private-display.sh" 1024x768x24
  (cd "$work" && HOME="$work" exec /usr/bin/tolvanex-updater >"$work/window.log" 2>&1) &
  wpid=$!
  win=$(timeout 60 xdotool search --sync --onlyvisible --name '^Tolvanex Updater para SWITCH Controllers v1\.0$' | head -n 1) ||
    { cat "$work/window.log"; fail "the window did not come up"; }
  xdotool windowfocus --sync "$win"
  xdotool key --clearmodifiers Escape
  status=0
  timeout 60 tail --pid="$wpid" -f /dev/null || fail "the window did not close on Escape"
  wait "$wpid" || status=$?
  [ "$status" -eq 0 ] || { cat "$work/window.log"; fail "the window ended with status $status"; }
  echo "window: shown and closed with Escape, status 0"
  kill "$xpid" 2>/dev/null || true

  echo "--- purge"
  apt-get purge -y -qq tolvanex-updater >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get purge"; }
  if [ -n "$(package_status)" ] && [[ "$(package_status)" != *not-installed ]]; then
    fail "dpkg still has tolvanex-updater: $(package_status)"
  fi
  # Every file of the package (the udev rule, the desktop entry, the metainfo,
  # the icons, the programs, the docs), and dpkg's own records of it.
  left=()
  while read -r path; do
    if [ -e "/$path" ] || [ -L "/$path" ]; then left+=("/$path"); fi
  done < <(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's|^\./||')
  for path in /usr/share/doc/tolvanex-updater /var/lib/dpkg/info/tolvanex-updater.*; do
    if [ -e "$path" ]; then left+=("$path"); fi
  done
  [ ${#left[@]} -eq 0 ] || fail "left after purge: ${left[*]}"
  echo "purged: none of the package's $(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -vc '/$') files is left"
  exit 0
fi

top=${TOLVANEX_TOP:?}
build="$top/build/native"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)"

rm -rf "$build/packages"
(cd "$build" && cpack -G DEB >"$build/cpack-deb.log" 2>&1) || { cat "$build/cpack-deb.log"; fail "cpack"; }
deb=$(echo "$build"/packages/tolvanex-updater_*_amd64.deb)
[ -f "$deb" ] || fail "no .deb in $build/packages"
echo "--- $(basename "$deb")"
dpkg-deb -c "$deb"
# The manual pages and the shell completion that `cmake --install` brings.
contents=$(dpkg-deb -c "$deb")
for f in usr/share/man/man1/tolvanex-cli.1.gz usr/share/man/man1/tolvanex-updater.1.gz \
  usr/share/bash-completion/completions/tolvanex-cli; do
  grep -q " \./$f\$" <<<"$contents" || fail "the .deb lacks /$f"
done
echo "--- lintian"
lintian_status=0
lintian --fail-on error --display-info "$deb" >"$build/lintian.log" 2>&1 || lintian_status=$?
grep -v 'running with root privileges' "$build/lintian.log" || true
[ "$lintian_status" -eq 0 ] || fail "lintian reports errors"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "--- metadata"
dpkg-deb -x "$deb" "$work/root"
appstreamcli validate --no-net --pedantic "$work/root/usr/share/metainfo/es.tolvanex.updater.metainfo.xml"
desktop-file-validate "$work/root/usr/share/applications/es.tolvanex.updater.desktop" && echo "desktop-file-validate: no complaints"
grep -qxF '<modalias>usb:v0E8Fp310D*</modalias>' <(sed 's/^ *//' "$work/root/usr/share/metainfo/es.tolvanex.updater.metainfo.xml") ||
  fail "metainfo lacks the controller's modalias"

# The CI machine has every dependency already, so installing proves little:
# the control file itself must name the Qt libraries and the font.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for dep in libqt6core6 libqt6gui6 libqt6widgets6 fonts-arphic-uming qt6-translations-l10n; do
  [[ ", $depends," == *", $dep "* || ", $depends," == *", $dep,"* ]] || fail "Depends lacks $dep"
done

echo "--- install, run and purge, in a throwaway root"
# What dpkg on this machine knows of the package, and how often its log has
# named it: the same after the stage, whatever was installed before.
host_state() {
  dpkg-query -W -f='${Status} ${Version}\n' tolvanex-updater 2>/dev/null || true
  grep -c ' tolvanex-updater[: ]' /var/log/dpkg.log 2>/dev/null || true
}
host_before=$(host_state)
"$top/tools/throwaway-root.sh" bash "$top/tools/test.d/15-deb.sh" --in-throwaway-root "$deb" "$top"
[ "$(host_state)" = "$host_before" ] || fail "this machine's dpkg changed: $(host_state | tr '\n' ' ')"
echo "this machine: its packages as they were"
