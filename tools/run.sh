#!/usr/bin/env bash
# Installs what is missing, builds, and starts the updater window. Without a
# display it says so and shows the command-line tool instead.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/install-deps.sh" build gui
# The same build folder as the tests, so either command reuses the other's work.
build="$top/build/native"
cmake -S "$top" -B "$build" >/dev/null
targets=(tolvanex-cli)
if grep -q '^Qt6Widgets_DIR:PATH=/' "$build/CMakeCache.txt"; then targets+=(tolvanex-updater); fi
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}" >/dev/null

if [ -x "$build/app/tolvanex-updater" ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  exec "$build/app/tolvanex-updater"
fi
echo "No hay pantalla (ni DISPLAY ni WAYLAND_DISPLAY): no se puede abrir la ventana del actualizador."
echo "Muestro la herramienta de línea de órdenes con el ejemplo examples/sample.hex:"
echo "\$ tolvanex-cli checksum examples/sample.hex"
"$build/cli/tolvanex-cli" checksum "$top/examples/sample.hex"
echo "\$ tolvanex-cli flash examples/sample.hex"
"$build/cli/tolvanex-cli" flash "$top/examples/sample.hex" || true
echo
"$build/cli/tolvanex-cli" --help
