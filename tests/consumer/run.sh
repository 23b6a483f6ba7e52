#!/usr/bin/env bash
# Builds and runs the consumer programs against an installed kmv: once
# through its CMake package, once through pkg-config.
#   run.sh PREFIX BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
prefix=$(cd "$1" && pwd)
build=$2
rm -rf "$build"
mkdir -p "$build"

echo "-- find_package(kmv)"
cmake -S "$here" -B "$build/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$build/cmake" >/dev/null
"$build/cmake/consumer_shared"
"$build/cmake/consumer_static"

echo "-- pkg-config kmv"
pcdir=$(dirname "$(find "$prefix" -name kmv.pc | head -n 1)")
export PKG_CONFIG_PATH=$pcdir
libdir=$(pkg-config --variable=libdir kmv)
flags=$(pkg-config --cflags --libs kmv)
# shellcheck disable=SC2086
cc -std=c11 -Wall -Wextra -Werror "$here/consumer.c" $flags -Wl,-rpath,"$libdir" \
  -o "$build/consumer_c"
"$build/consumer_c"
# shellcheck disable=SC2086
c++ -std=c++20 -Wall -Wextra -Werror "$here/consumer.cpp" $flags -Wl,-rpath,"$libdir" \
  -o "$build/consumer_cpp"
"$build/consumer_cpp"

echo "-- installed tool"
"$prefix/bin/kmv" --version
echo "consumers: 5 passed, 0 failed"
