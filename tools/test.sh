#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: each stage in
# tools/test.d runs in name order, and the first failure stops the run.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
export TOLVANEX_TOP="$top"
groups=()
for f in "$top"/tools/deps/*.txt; do groups+=("$(basename "$f" .txt)"); done
"$top/tools/install-deps.sh" "${groups[@]}"

passed=0
failed=0
for stage in "$top"/tools/test.d/*.sh; do
  name=$(basename "$stage" .sh)
  echo "=== $name ==="
  start=$(date +%s)
  if bash "$stage"; then
    echo "=== $name: passed in $(( $(date +%s) - start )) s ==="
    passed=$((passed + 1))
  else
    echo "=== $name: FAILED ==="
    failed=1
    break
  fi
done
echo "stages: $passed passed, $failed failed"
exit $failed
