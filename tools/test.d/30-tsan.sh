#!/usr/bin/env bash
# The main dialog and its update worker under ThreadSanitizer. Qt itself is not
# built with TSan; tests/ui/tsan.supp leaves its libraries out, never our code.
set -euo pipefail
top=${TOLVANEX_TOP:?}
build="$top/build/tsan"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLVANEX_SANITIZE=thread \
  -DTOLVANEX_BUILD_BENCH=OFF -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target tolvanex_ui_tests

# Newer kernels randomise mappings more than TSan's shadow layout allows.
norandom=()
if setarch "$(uname -m)" -R true 2>/dev/null; then
  norandom=(setarch "$(uname -m)" -R)
fi
# A modal box that nobody answers would wait for ever: bound the run.
TSAN_OPTIONS="suppressions=$top/tests/ui/tsan.supp history_size=7 halt_on_error=1" \
QT_QPA_PLATFORM=offscreen \
  timeout 1800 "${norandom[@]}" "$build/tests/ui/tolvanex_ui_tests"
