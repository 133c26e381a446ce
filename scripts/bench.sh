#!/usr/bin/env bash
# Builds the benchmarks (optimised host build, no sanitizers) and runs every one of them.
# Each prints its own figures and the ratio to the floor it measures in the same run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVK_BENCH=ON -DVK_TESTS=OFF >/dev/null
cmake --build build/bench -j "$(nproc)"
shopt -s nullglob
for b in build/bench/bench/*/bench_*; do
  [ -x "$b" ] || continue
  echo "== $b"
  "$b" "$@"
done
