#!/usr/bin/env bash
# The product's C++ follows .clang-format; prints what does not and fails.
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files -z -- 'sys/*' 'device/*' 'firmware/*' 'ui/*' 'cli/*' 'app/*' | grep -zE '\.(cpp|h)$' |
  xargs -0 clang-format --dry-run -Werror
