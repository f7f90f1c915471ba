#!/usr/bin/env bash
# Installs what is missing, builds, and runs the tests: every stage in
# tools/test.d in name order, or only the stages named (`./tools/test.sh
# 10-native 15-deb`), in the order given. The first failure stops the run.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
export TOLVANEX_TOP="$top"

all=("$top"/tools/test.d/*.sh)
stages=()
list() { local f names=(); for f in "${all[@]}"; do names+=("$(basename "$f" .sh)"); done; echo "${names[*]}"; }
for name in "$@"; do
  if [ "$name" = -h ] || [ "$name" = --help ]; then
    echo "usage: $0 [STAGE]...   (no stage: all of them: $(list))"
    exit 0
  fi
  name=${name##*/}
  name=${name%.sh}
  if [ ! -f "$top/tools/test.d/$name.sh" ]; then
    echo "test.sh: no stage '$name'; the stages are: $(list)" >&2
    exit 2
  fi
  stages+=("$top/tools/test.d/$name.sh")
done
[ ${#stages[@]} -gt 0 ] || stages=("${all[@]}")

groups=()
for f in "$top"/tools/deps/*.txt; do groups+=("$(basename "$f" .txt)"); done
"$top/tools/install-deps.sh" "${groups[@]}"

passed=0
failed=0
for stage in "${stages[@]}"; do
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
