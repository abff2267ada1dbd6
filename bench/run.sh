#!/usr/bin/env bash
# Builds what the benchmarks need and prints their table (Markdown).
# bench/run.sh [--quick]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
for preset in posix win64 win32; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" >/dev/null
done
exec /usr/bin/python3 bench/bench.py --posix-build build/posix --win64-build build/win64 --win32-build build/win32 "$@"
