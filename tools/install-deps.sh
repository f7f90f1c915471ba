#!/usr/bin/env bash
# Installs the Debian packages of the named groups (tools/deps/GROUP.txt) that
# are not installed yet. Quick and silent when nothing is missing.
#
#   install-deps.sh GROUP...
#   install-deps.sh --npm DIR   the npm packages that the web tests use
#                               (tools/deps/npm: versions and hashes locked)
#                               into DIR/node_modules, for the host and the VM
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

if [ "${1:-}" = --npm ]; then
  dir=${2:?usage: install-deps.sh --npm DIR}
  lock="$here/deps/npm/package-lock.json"
  stamp="$dir/lock.sha256"
  want=$(sha256sum < "$lock")
  if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ] && [ -d "$dir/node_modules" ]; then
    exit 0
  fi
  command -v npm >/dev/null || { echo "install-deps: npm is missing: tools/install-deps.sh web" >&2; exit 1; }
  mkdir -p "$dir"
  rm -f "$stamp"
  cp "$here/deps/npm/package.json" "$lock" "$dir/"
  # npm ci takes exactly what the lock names and checks each package's hash.
  # Its cache stays in DIR too.
  (cd "$dir" && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error --cache "$dir/cache")
  echo "$want" > "$stamp"
  exit 0
fi

missing=()
for group in "$@"; do
  list="$here/deps/$group.txt"
  [ -f "$list" ] || { echo "install-deps: unknown group '$group'" >&2; exit 1; }
  while read -r pkg _; do
    case "$pkg" in ''|'#'*) continue ;; esac
    status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$pkg")
  done < "$list"
  # The web tests take axe-core from npm (--npm). Debian's nodejs comes
  # without it; other builds of node bring their own.
  if [ "$group" = web ] && ! command -v npm >/dev/null; then missing+=(npm); fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
