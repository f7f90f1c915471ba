#!/usr/bin/env bash
# Installs the Debian packages of the named groups (tools/deps/GROUP.txt) that
# are not installed yet. Quick and silent when nothing is missing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

missing=()
for group in "$@"; do
  list="$here/deps/$group.txt"
  [ -f "$list" ] || { echo "install-deps: unknown group '$group'" >&2; exit 1; }
  while read -r pkg _; do
    case "$pkg" in ''|'#'*) continue ;; esac
    status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$pkg")
  done < "$list"
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
