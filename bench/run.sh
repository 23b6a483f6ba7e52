#!/usr/bin/env bash
# Builds the benchmarks, makes their inputs from Debian's manual pages and
# runs them: `bench/run.sh [benchmark args...]`, e.g. --benchmark_filter=sjis.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build/bench}
inputs=${KMV_BENCH_INPUTS:-$build/inputs}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKMV_BUILD_BENCH=ON -DKMV_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
[ -f "$inputs/doc.utf8" ] || python3 bench/make_inputs.py "$inputs"
export KMV_BENCH_INPUTS=$inputs
for program in "$build"/bench/bench_*; do
  [ -x "$program" ] || continue
  "$program" "$@"
done
