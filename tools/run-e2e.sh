#!/usr/bin/env bash
# Runs the end-to-end tests (tests/e2e/test_*.py) against the installed Windows build under
# Wine, one file per Python process as ctest does. Arguments: test files to run instead of
# all of them. The program folder is LUMATAP_DIST (default build/windows/dist); install it
# first with `cmake --install build/windows`.
set -uo pipefail
cd "$(dirname "$0")/.."

if [ $# -gt 0 ]; then
  files=("$@")
else
  files=(tests/e2e/test_*.py)
fi

passed=0
failed=0
failed_files=()
for f in "${files[@]}"; do
  echo "=== $f"
  if PYTHONDONTWRITEBYTECODE=1 /usr/bin/python3 -m unittest -v "$f"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    failed_files+=("$f")
  fi
done

for f in "${failed_files[@]}"; do echo "failed: $f"; done
echo "end-to-end: $passed of $((passed + failed)) test files passed"
[ "$failed" -eq 0 ]
