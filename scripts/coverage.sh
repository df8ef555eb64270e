#!/bin/sh
# Measures line and branch coverage of src/ over the whole test suite and
# prints the totals, with the lines never run. Installs gcovr when missing.
# Usage: scripts/coverage.sh
set -eu
cd "$(dirname "$0")/.."
if ! command -v gcovr >/dev/null 2>&1; then
  apt-get update && apt-get install -y --no-install-recommends gcovr
fi
find build/coverage -name '*.gcda' -delete 2>/dev/null || true
cmake --workflow --preset coverage >/dev/null
gcovr --root . --filter 'src/' --exclude-throw-branches \
  --exclude-unreachable-branches --print-summary \
  --txt build/coverage/coverage.txt build/coverage
echo "per file: build/coverage/coverage.txt"
