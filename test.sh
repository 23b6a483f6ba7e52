#!/usr/bin/env bash
# Builds kmv and runs every test: a release build, a build with
# AddressSanitizer and UndefinedBehaviorSanitizer, the tool's parallel
# tests under ThreadSanitizer, and a short run of every fuzz target. FUZZ_SECONDS sets the time per fuzz target (0 skips them).
set -euo pipefail
cd "$(dirname "$0")"
jobs=$(nproc)
fuzz_seconds=${FUZZ_SECONDS:-20}

step() { printf '\n==== %s\n' "$*"; }

step "release build and tests"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKMV_BUILD_BENCH=ON
cmake --build build/release -j "$jobs"
ctest --test-dir build/release --output-on-failure -j "$jobs" -LE huge

step "release tests at every vector level the CPU has"
for level in sse2 avx2 avx512; do
  case $level in
    avx2) grep -qw avx2 /proc/cpuinfo || continue ;;
    avx512) grep -qw avx512_vbmi2 /proc/cpuinfo || continue ;;
  esac
  echo "-- KMV_SIMD=$level"
  KMV_SIMD=$level ctest --test-dir build/release --output-on-failure -j "$jobs" -LE huge | tail -n 3
done

step "installed package: consumers through CMake and pkg-config"
rm -rf build/prefix
cmake --install build/release --prefix build/prefix >/dev/null
tests/consumer/run.sh build/prefix build/consumer

step "sanitizer build and tests"
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKMV_SANITIZE=ON
cmake --build build/asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/asan --output-on-failure -j "$jobs" -LE huge

step "ThreadSanitizer build: the tool on many files at once"
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKMV_TSAN=ON -DKMV_BUILD_TESTS=OFF
cmake --build build/tsan -j "$jobs" --target kmv kmv_cli
TSAN_OPTIONS="halt_on_error=1 exitcode=66" \
  bash tests/cli_tool_test.sh build/tsan/tools/kmv samples parallel

if [ "$fuzz_seconds" -gt 0 ]; then
  step "fuzz targets, ${fuzz_seconds}s each"
  CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKMV_BUILD_FUZZ=ON -DKMV_BUILD_TESTS=OFF -DKMV_BUILD_TOOLS=OFF
  cmake --build build/fuzz -j "$jobs"
  for target in build/fuzz/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    corpus=$(mktemp -d)
    seeds=fuzz/corpus/$(basename "$target")
    [ -d "$seeds" ] && cp "$seeds"/* "$corpus"/ 2>/dev/null || true
    echo "-- $(basename "$target")"
    "$target" -max_total_time="$fuzz_seconds" -max_len=4096 -print_final_stats=1 "$corpus" 2>&1 | tail -n 3
    rm -rf "$corpus"
  done
fi
step "Python package (installed by CMake): pytest"
python_site=$(echo "$PWD"/build/prefix/lib/python3*/*-packages)
PYTHONPATH="$python_site" KMV_TOOL="$PWD/build/release/tools/kmv" \
  /usr/bin/python3 -m pytest -q -p no:cacheprovider python/tests

step "all tests passed"
