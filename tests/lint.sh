#!/usr/bin/env bash
# The code's formatting (.clang-format) and static checks (.clang-tidy) on the
# sources the POSIX build compiles. Argument: that build's directory.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/posix}
status=0
if ! clang-format --dry-run -Werror $(git ls-files '*.cc' '*.h' '*.c' 2>/dev/null || find logic platform shell tests fuzz bench demo -name '*.cc' -o -name '*.h' -o -name '*.c'); then
  echo "FAIL formatting: run clang-format -i on the files above"
  status=1
else
  echo "PASS formatting"
fi
sources=(logic/*.cc platform/*_posix.cc platform/ini_file.cc platform/registry_export.cc platform/text_encoding.cc
         platform/registry_view.cc shell/main_posix.cc tools/check/*.cc)
if ! clang-tidy -p "$build" --quiet "${sources[@]}" 2>&1 | grep -E '(warning|error):' ; then
  echo "PASS clang-tidy"
else
  echo "FAIL clang-tidy"
  status=1
fi
exit $status
