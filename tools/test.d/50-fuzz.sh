#!/usr/bin/env bash
# libFuzzer runs over the HEX reader (each of its paths against a plain
# reference reader), the catalogue of releases and the report-descriptor
# parser: a clang build of the
# core with coverage, ASan and UBSan; each fuzzer for a bounded time, starting
# from the seeds in tests/fuzz/corpus.
set -euo pipefail
top=${TOLVANEX_TOP:?}
build=${TOLVANEX_FUZZ_BUILD:-$top/build/fuzz}
seconds=${TOLVANEX_FUZZ_SECONDS:-20}
fuzzers=(fuzz_hex_reader fuzz_catalogue fuzz_report_descriptor)

cmake -S "$top" -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLVANEX_CORE_ONLY=ON -DTOLVANEX_BUILD_TESTS=ON \
  -DTOLVANEX_BUILD_BENCH=OFF -DTOLVANEX_SANITIZE=address,undefined,fuzzer-no-link \
  -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null

built=()
for f in "${fuzzers[@]}"; do
  if [ -f "$top/tests/fuzz/$f.cpp" ]; then built+=("$f"); fi
done
cmake --build "$build" -j"$(nproc)" --target "${built[@]}"

mkdir -p "$build/artifacts"
for f in "${built[@]}"; do
  name=${f#fuzz_}
  # Work on a copy so that new inputs stay out of the source tree.
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  if [ -d "$top/tests/fuzz/corpus/$name" ]; then cp -r "$top/tests/fuzz/corpus/$name/." "$work/"; fi
  extra=()
  if [ -f "$top/tests/fuzz/$name.dict" ]; then extra+=("-dict=$top/tests/fuzz/$name.dict"); fi
  echo "--- $f: ${seconds} s"
  log="$build/artifacts/$f.log"
  status=0
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "$build/tests/fuzz/$f" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/$f-" "${extra[@]}" "$work" >"$log" 2>&1 || status=$?
  rm -rf "$work"
  trap - EXIT
  grep -E '^(reader paths compared:|#[0-9]+ +DONE|stat::(number_of_executed_units|peak_rss_mb|new_units_added))' "$log" || true
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$log" >&2
    echo "$f found a failing input (see $build/artifacts)" >&2
    exit 1
  fi
done
