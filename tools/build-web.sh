#!/usr/bin/env bash
# Builds the updater's web page into OUTDIR: index.html, the stylesheet, the
# .js and .wasm of the program, the icon; static files that any web server
# can serve (over HTTPS, or on localhost). Installs what is missing first,
# like the other scripts, and makes the site's zip in the build's packages/.
#
#   tools/build-web.sh [--no-install] [--tests] [--catalogue DIR] OUTDIR
#
# --catalogue copies the maker's releases into OUTDIR beside the page: DIR
# holds firmware.json and the HEX files it names (see the README's
# "Publishing releases"); they go in as they are, the site's zip stays the
# page alone.
# The build folder is build/web (TOLVANEX_WEB_BUILD sets another).
# --no-install only checks that the tools are there; --tests also builds the
# WebAssembly module that the tests load in node.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
install=1 tests=OFF out= catalogue=
usage="usage: tools/build-web.sh [--no-install] [--tests] [--catalogue DIR] OUTDIR"
while [ $# -gt 0 ]; do
  case "$1" in
    --no-install) install=0 ;;
    --tests) tests=ON ;;
    --catalogue) [ $# -ge 2 ] || { echo "$usage" >&2; exit 1; }; catalogue=$2; shift ;;
    --catalogue=*) catalogue=${1#--catalogue=} ;;
    -*) echo "build-web: unknown option $1" >&2; exit 1 ;;
    *) out=$1 ;;
  esac
  shift
done
[ -n "$out" ] || { echo "$usage" >&2; exit 1; }
if [ -n "$catalogue" ] && [ ! -f "$catalogue/firmware.json" ]; then
  echo "build-web: $catalogue has no firmware.json" >&2
  exit 1
fi

if [ $install = 1 ]; then
  "$top/tools/install-deps.sh" build web
fi
command -v emcmake >/dev/null || { echo "build-web: emscripten is missing: tools/install-deps.sh web" >&2; exit 1; }

build=${TOLVANEX_WEB_BUILD:-$top/build/web}
# Debian's emscripten finds its JavaScript tools' modules (acorn) there.
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}
# Its prebuilt libraries live beside the compiler, and it locks that folder
# to use it; a user who may not write there uses a copy in the build folder.
if [ -z "${EM_CACHE:-}" ] && [ ! -w /usr/share/emscripten/cache ]; then
  export EM_CACHE="$build/emscripten-cache"
  if [ ! -d "$EM_CACHE" ]; then
    mkdir -p "$build"
    cp -a /usr/share/emscripten/cache "$EM_CACHE.tmp" && mv "$EM_CACHE.tmp" "$EM_CACHE"
  fi
fi

emcmake cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTOLVANEX_BUILD_TESTS=$tests \
  -DTOLVANEX_BUILD_BENCH=OFF -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build "$build" -j2
rm -rf "$build/packages"
(cd "$build" && cpack -G ZIP >/dev/null)

mkdir -p "$out"
cp "$build"/web/site/* "$out"/
# The catalogue's files, links followed; firmware.json last, so that a page
# served meanwhile never lists a file not yet there.
if [ -n "$catalogue" ]; then
  tar -C "$catalogue" --exclude=./firmware.json -chf - . | tar -C "$out" -xf -
  cp -L "$catalogue/firmware.json" "$out/.firmware.json.new" && mv "$out/.firmware.json.new" "$out/firmware.json"
fi
echo "build-web: $out ($(ls "$out" | tr '\n' ' ')); $(ls "$build"/packages/*.zip)"
