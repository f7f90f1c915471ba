#!/usr/bin/env bash
# Builds the updater's web page into OUTDIR: index.html, the stylesheet, the
# .js and .wasm of the program, the icon; static files that any web server
# can serve (over HTTPS, or on localhost). Installs what is missing first,
# like the other scripts, and makes the site's zip in the build's packages/.
#
#   tools/build-web.sh [--no-install] [--tests] OUTDIR
#
# The build folder is build/web (TOLVANEX_WEB_BUILD sets another).
# --no-install only checks that the tools are there; --tests also builds the
# WebAssembly module that the tests load in node.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
install=1 tests=OFF out=
for arg in "$@"; do
  case "$arg" in
    --no-install) install=0 ;;
    --tests) tests=ON ;;
    -*) echo "build-web: unknown option $arg" >&2; exit 1 ;;
    *) out=$arg ;;
  esac
done
[ -n "$out" ] || { echo "usage: tools/build-web.sh [--no-install] [--tests] OUTDIR" >&2; exit 1; }

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
echo "build-web: $out ($(ls "$out" | tr '\n' ' ')); $(ls "$build"/packages/*.zip)"
