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
"$build/cmake/consumer_modern"

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

echo "-- kmv.hpp below C++20"
if echo '#include <kmv.hpp>' | c++ -std=c++17 -fsyntax-only -I"$prefix/include" -x c++ - 2>"$build/cxx17.err" ||
  ! grep -q 'kmv.hpp needs C++20' "$build/cxx17.err"; then
  echo "kmv.hpp compiled as C++17 or failed otherwise" >&2
  exit 1
fi

echo "-- installed tool, manual page, completion"
"$prefix/bin/kmv" --version
share=$prefix/share
grep -q '^\.TH KMV 1' "$share/man/man1/kmv.1"
if command -v man >/dev/null; then
  MANWIDTH=80 man -l "$share/man/man1/kmv.1" 2>/dev/null | grep -q -- '--keep-time'
fi
grep -q 'complete -o filenames -F _kmv kmv' "$share/bash-completion/completions/kmv"
bash -c "source '$share/bash-completion/completions/kmv' && complete -p kmv" >/dev/null
grep -q '^#compdef kmv' "$share/zsh/site-functions/_kmv"
echo "consumers: 8 passed, 0 failed"
