#!/usr/bin/env bash
# The core and its tests under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
top=${TOLVANEX_TOP:?}
build="$top/build/asan"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DTOLVANEX_CORE_ONLY=ON \
  -DTOLVANEX_SANITIZE=address,undefined -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
cd "$build"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j2 -LE 'vm|slow'
