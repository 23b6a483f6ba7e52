#!/usr/bin/env bash
# Builds the kmv tool (nothing is installed) and shows its main job on the
# sample texts: detect every sample, convert one into every other encoding,
# detect the results, and check that each converts back unchanged.
set -euo pipefail
cd "$(dirname "$0")"

build=build/demo
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
echo "==== building the kmv tool in $build"
cmake -S . -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
  -DKMV_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target kmv_cli -j "$(nproc)" >/dev/null
kmv=$build/tools/kmv

echo
echo "==== kmv detect samples/*.txt"
"$kmv" detect samples/*.txt

source=samples/japanese.shift_jis.txt
out=$build/converted
rm -rf "$out"
mkdir -p "$out"
echo
echo "==== converting $source into every other encoding (in $out)"
for to in iso-2022-jp euc-jp eucjp-ms cp51932 cp20932 utf-8 utf-8-bom \
          utf-16be utf-16be-bom utf-16le utf-16le-bom; do
  "$kmv" convert --to "$to" -o "$out/japanese.$to.txt" "$source"
done
"$kmv" detect "$out"/*.txt

echo
echo "==== every conversion back to UTF-8 equals samples/japanese.utf-8.txt"
for file in "$out"/japanese.*.txt; do
  name=$(basename "$file" .txt)
  from=${name#japanese.}
  if "$kmv" convert --from "$from" --to utf-8 "$file" | cmp -s - samples/japanese.utf-8.txt; then
    echo "  $from: same text"
  else
    echo "  $from: DIFFERS" >&2
    exit 1
  fi
done

echo
echo "==== kmv cat --to utf-8 $out/japanese.iso-2022-jp.txt (first lines)"
"$kmv" cat --to utf-8 "$out/japanese.iso-2022-jp.txt" > "$out/lines.utf-8"
head -n 3 "$out/lines.utf-8"
echo
echo "The tool is $kmv; 'kmv --help' tells the rest."
