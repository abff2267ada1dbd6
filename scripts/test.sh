#!/usr/bin/env bash
# Builds every preset and runs every test: the native unit and program tests
# (also with AddressSanitizer and UndefinedBehaviorSanitizer) with the
# formatting and static checks; a minute of fuzzing for each reader; the unit
# tests and the end-to-end and fault runs under Wine; the static checks of the
# shipped i686 setup.exe and its runs in the test guest (tests/vm, whose image
# is built on first use). Ends with the totals.
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh || exit 1

passed=0
failed=0
status=0
for preset in posix asan fuzz win64 win32; do
  echo "=== $preset ==="
  if ! { cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset"; } >"build-$preset.log" 2>&1; then
    tail -n 40 "build-$preset.log"
    echo "build of $preset failed"
    failed=$((failed + 1))
    status=1
    continue
  fi
  rm -f "build-$preset.log"
  out=$(ctest --preset "$preset" 2>&1)
  rc=$?
  if [ $rc -eq 0 ]; then
    echo "$out" | grep -E 'Test +#' || true
    echo "$out" | sed -n '/tests passed/,$p'
  else
    echo "$out"
  fi
  summary=$(echo "$out" | grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' | tail -n 1)
  if [ -n "$summary" ]; then
    total=$(echo "$summary" | sed -E 's/.*out of ([0-9]+).*/\1/')
    bad=$(echo "$summary" | sed -E 's/.* ([0-9]+) tests? failed.*/\1/')
    passed=$((passed + total - bad))
    failed=$((failed + bad))
  else
    failed=$((failed + 1))
  fi
  [ $rc -eq 0 ] || status=1
done
echo "total: $passed passed, $failed failed"
exit $status
