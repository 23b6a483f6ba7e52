#!/bin/sh
# Compares the shared library's dynamic symbol table with the expected list.
set -eu
lib=$1
dir=$2
nm=${NM:-nm}
actual=$(mktemp)
expected=$(mktemp)
trap 'rm -f "$actual" "$expected"' EXIT
# Sanitizer builds add their own instrumentation symbols.
"$nm" -D --defined-only "$lib" | awk '{print $NF}' |
  grep -v -E '^__(odr_asan|asan|ubsan|sanitizer|lsan)' | sort -u > "$actual"
cat "$dir"/*.txt | sed -e 's/#.*//' -e '/^[[:space:]]*$/d' | sort -u > "$expected"
if ! diff -u "$expected" "$actual"; then
  echo "exported symbols differ from $dir (- expected, + actual)" >&2
  exit 1
fi
echo "$(wc -l < "$actual") exported symbols as expected"
