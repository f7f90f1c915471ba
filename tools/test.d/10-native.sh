#!/usr/bin/env bash
# The native build with every test that CTest knows, the VM tests included.
set -euo pipefail
top=${TOLVANEX_TOP:?}
build="$top/build/native"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
cd "$build"
ctest --output-on-failure -j2
