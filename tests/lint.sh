#!/usr/bin/env bash
# The code's formatting (.clang-format) and static checks (.clang-tidy) on the
# sources the POSIX build compiles. Argument: that build's directory.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/posix}
status=0
if ! clang-format --dry-run -Werror $(git ls-files '*.cc' '*.h' '*.c' 2>/dev/null || find formats logic platform shell tests fuzz bench demo -name '*.cc' -o -name '*.h' -o -name '*.c'); then
  echo "FAIL formatting: run clang-format -i on the files above"
  status=1
else
  echo "PASS formatting"
fi
sources=(formats/*.cc logic/*.cc platform/*_posix.cc shell/*_posix.cc tools/check/*.cc)
# Judged by what clang-tidy prints, and by its exit code: either alone can
# miss a finding (a pipeline's status is grep's, or clang-tidy's under pipefail).
# One clang-tidy per file, as many at once as there are processors: run
# serially it takes minutes on a busy two-core machine.
tidy_status=0
tidy_output=$(printf '%s\0' "${sources[@]}" |
  xargs -0 -n 1 -P "$(nproc)" clang-tidy -p "$build" --quiet 2>&1) || tidy_status=$?
if [ $tidy_status -eq 0 ] && ! grep -qE '(warning|error):' <<<"$tidy_output"; then
  echo "PASS clang-tidy"
else
  grep -E '(warning|error):' <<<"$tidy_output" || echo "$tidy_output" | tail -n 20
  echo "FAIL clang-tidy (exit $tidy_status)"
  status=1
fi
exit $status
