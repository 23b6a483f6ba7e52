#!/usr/bin/env bash
# End-to-end tests of the kmv tool: runs the built program on temporary
# files and checks its output, messages and exit status.
#
#   cli_test.sh KMV SAMPLES_DIR GROUP
#
# Expected texts are the sample files, which Python's codecs wrote, and
# bytes written out by hand from the published mappings.
set -uo pipefail
export LC_ALL=C
kmv=$1
samples=$2
group=$3

work=$(mktemp -d)
trap 'chmod -R u+rwx "$work" 2>/dev/null; rm -rf "$work"' EXIT
out=$work/stdout
err=$work/stderr
label=""
checks=0
failures=0

sjis=$samples/japanese.shift_jis.txt
euc=$samples/japanese.euc-jp.txt
jis=$samples/japanese.iso-2022-jp.txt
utf8=$samples/japanese.utf-8.txt
utf8bom=$samples/japanese.utf-8-bom.txt
utf16le_bom=$samples/japanese.utf-16le-bom.txt
utf16be=$samples/japanese.utf-16be.txt

fail() {
  echo "FAIL [$group] $label: $*" >&2
  failures=$((failures + 1))
}
# run ARGS...: runs the tool with standard input from $stdin (/dev/null).
run() {
  "$kmv" "$@" <"${stdin:-/dev/null}" >"$out" 2>"$err"
  status=$?
}
stderr_text() { head -c 400 "$err" | tr '\n' '|'; }
# is STATUS [STDOUT]: the exit status and standard output of the last run;
# STDOUT is the text, @FILE the bytes of FILE, "" for nothing, '*' for any.
is() {
  checks=$((checks + 1))
  [ "$status" -eq "$1" ] || fail "exit status $status, wanted $1 (stderr: $(stderr_text))"
  [ $# -ge 2 ] && [ "$2" != '*' ] || return 0
  if [ -z "$2" ]; then
    [ ! -s "$out" ] || fail "standard output not empty: $(head -c 200 "$out")"
  elif [[ $2 == @* ]]; then
    cmp -s "$out" "${2#@}" || fail "standard output differs from ${2#@} ($(wc -c <"$out") bytes)"
  else
    [ "$(cat "$out")" == "$(printf '%s' "$2")" ] || fail "standard output: '$(head -c 400 "$out")', wanted '$2'"
  fi
}
# expect STATUS STDOUT ARGS...: runs the tool and checks as is does.
expect() {
  local code=$1 want=$2
  shift 2
  run "$@"
  is "$code" "$want"
}
# has TEXT...: each TEXT appears on standard error.
has() {
  local text
  for text; do
    checks=$((checks + 1))
    grep -qF -- "$text" "$err" || fail "standard error lacks '$text': $(stderr_text)"
  done
}
stderr_lines() {
  checks=$((checks + 1))
  [ "$(wc -l <"$err")" -eq "$1" ] || fail "$(wc -l <"$err") lines on standard error, wanted $1: $(stderr_text)"
}
same() {
  checks=$((checks + 1))
  cmp -s "$1" "$2" || fail "$1 differs from $2"
}
# Runs the rows of data/cli/failures.txt for a group: each run fails with
# its status, writes nothing to standard output, and says its text (usage
# mistakes in one line).
failures_table() {
  local line code text args group rows=0
  while IFS='|' read -r group code text line; do
    [ "$group" = "$1" ] || continue
    rows=$((rows + 1))
    eval "args=($line)" && eval "text=\"$text\""
    label="failure: ${args[*]}"
    run "${args[@]}"
    is "$code" ""
    has "$text"
    [ "$code" -ne 2 ] || stderr_lines 1
  done <"$(dirname "$0")/data/cli/failures.txt"
  [ "$rows" -gt 0 ] || fail "no failure rows for $1"
}

declare -A sample_names=(
  [japanese.utf-8.txt]=UTF8 [japanese.utf-8-bom.txt]=UTF8_BOM
  [japanese.shift_jis.txt]=SJIS [japanese.euc-jp.txt]=EUC
  [japanese.iso-2022-jp.txt]=JIS [japanese.utf-16le-bom.txt]=UTF16LE_BOM
  [japanese.utf-16be.txt]=UTF16BE
)

# Runs the tool as an unprivileged user when we are root (root reads and
# writes everything); status 99 when that is not possible.
as_unprivileged() {
  if [ "$(id -u)" -ne 0 ]; then
    "$kmv" "$@" >"$out" 2>"$err"
  elif command -v setpriv >/dev/null &&
    setpriv --reuid=65534 --regid=65534 --clear-groups "$kmv" --version >/dev/null 2>&1; then
    setpriv --reuid=65534 --regid=65534 --clear-groups "$kmv" "$@" >"$out" 2>"$err"
  else
    return 99
  fi
}

printf 'abcd' >"$work/abcd"       # fits ASCII and both UTF-16 orders
printf '\x82\xa0' >"$work/kana"   # a Shift_JIS hiragana
printf '\xff\xff\xff' >"$work/unfit"
: >"$work/empty"
tail -c +3 "$utf16le_bom" >"$work/utf16le"
# U+00A9 has no Shift_JIS code; the first stands on line 2 after あい.
printf 'abc\n\xe3\x81\x82\xe3\x81\x84\xc2\xa9z\xc2\xa9\n' >"$work/copyright"

test_detect() {
  label="every sample, and standard input with and without -"
  run detect "$samples"/japanese.*.txt
  local expected="" f i
  for f in "$samples"/japanese.*.txt; do
    expected+="$f: ${sample_names[${f##*/}]}"$'\n'
  done
  is 0 "$expected"
  stdin=$sjis expect 0 "(standard input): SJIS" detect
  stdin=$sjis expect 0 "(standard input): SJIS" detect -

  label="undecided, --expect, --ignore-hints, empty and unfit"
  run detect "$work/abcd" "$work/empty" "$work/unfit"
  is 0 "$work/abcd: ASCII;UTF16BE;UTF16LE
$work/empty: empty
$work/unfit: none"
  expect 0 "$work/abcd: UTF16BE" detect --expect utf-16be "$work/abcd"
  expect 0 "$work/abcd: ASCII;UTF16BE;UTF16LE" detect --expect UTF16BE --ignore-hints "$work/abcd"

  label="--json: one object per file"
  # The kana preference narrows to the Shift_JIS mask (256), still undecided.
  run detect --json "$work/abcd" "$work/kana" "$work/missing" "$work/unfit"
  is 1 "{\"path\":\"$work/abcd\",\"result\":41024,\"decided\":false,\"encoding\":null,\"names\":[\"ASCII\",\"UTF16BE\",\"UTF16LE\"]}
{\"path\":\"$work/kana\",\"result\":256,\"decided\":false,\"encoding\":null,\"names\":[\"SJIS\"]}
{\"path\":\"$work/missing\",\"result\":null,\"decided\":false,\"encoding\":null,\"names\":[],\"error\":\"No such file or directory\"}
{\"path\":\"$work/unfit\",\"result\":-1,\"decided\":false,\"encoding\":null,\"names\":[]}"
  stdin=$utf8bom expect 0 '{"path":"(standard input)","result":16,"decided":true,"encoding":"UTF8_BOM","names":["UTF8_BOM"]}' detect --json

  label="a missing file fails alone; the others are still detected"
  expect 1 "$sjis: SJIS" detect "$work/missing" "$sjis"
  has "kmv: $work/missing: No such file or directory"
  stderr_lines 1

  label="-r walks directories in name order, regular files only"
  mkdir -p "$work/tree/b/c" "$work/tree/a"
  cp "$euc" "$work/tree/b/c/one.txt"
  cp "$jis" "$work/tree/a/two.txt"
  cp "$utf8" "$work/tree/z.txt"
  mkfifo "$work/tree/b/pipe"
  ln -s ../b "$work/tree/a/loop"
  run detect --progress -r "$work/tree" "$sjis"
  is 0 "$work/tree/a/two.txt: JIS
$work/tree/b/c/one.txt: EUC
$work/tree/z.txt: UTF8
$sjis: SJIS"
  has "[4/4]"

  label="-j keeps the file order"
  mkdir -p "$work/many"
  expected=""
  for i in $(seq -w 1 12); do
    for f in "$samples"/japanese.*.txt; do
      cp "$f" "$work/many/$i.${f##*/}"
      expected+="$work/many/$i.${f##*/}: ${sample_names[${f##*/}]}"$'\n'
    done
  done
  expect 0 "$expected" detect -j 4 -r "$work/many"
  expect 0 "$expected" detect -j0 -r "$work/many"

  label="an unreadable file"
  cp "$sjis" "$work/secret"
  chmod 000 "$work/secret"
  chmod 755 "$work"
  as_unprivileged detect "$work/secret" "$work/tree/z.txt"
  status=$?
  if [ "$status" -ne 99 ]; then
    is 1 "$work/tree/z.txt: UTF8"
    has "kmv: $work/secret: Permission denied"
  fi

  failures_table detect
}

test_convert() {
  label="Shift_JIS into every encoding, every sample into UTF-8"
  local to f i
  for to in utf-8:$utf8 utf-8-bom:$utf8bom euc-jp:$euc iso-2022-jp:$jis \
    utf-16le-bom:$utf16le_bom utf-16be:$utf16be shift_jis:$sjis; do
    expect 0 "@${to#*:}" convert --to "${to%%:*}" "$sjis"
  done
  for f in "$samples"/japanese.*.txt; do
    expect 0 "@$utf8" convert --to utf-8 "$f"
  done

  label="EUC-JP variants: common text converts the same into each"
  for to in euc-jp cp20932 cp51932 eucjp-ms 'EUC3(EUC-MS)' euc1; do
    expect 0 "@$euc" convert --to "$to" "$utf8"
  done

  label="the byte-order mark alone is added or removed"
  expect 0 "@$utf8bom" convert --to utf-8-bom "$utf8"
  expect 0 "@$utf8" convert --to utf-8 "$utf8bom"
  expect 0 "@$work/utf16le" convert --to utf-16le "$utf16le_bom"
  expect 0 "@$utf16le_bom" convert --to utf-16le-bom --from utf-16le "$work/utf16le"
  # Plain "utf-16" takes the byte order of the mark.
  { printf '\xfe\xff'; cat "$utf16be"; } >"$work/utf16be_bom"
  expect 0 "@$utf8" convert --from utf-16 --to utf-8 "$work/utf16be_bom"
  expect 0 "$(printf '\xff\xfe')" convert --to utf-16le-bom "$work/empty"
  expect 0 "" convert --to utf-8 "$work/empty"

  label="standard input, -o, names in any case"
  stdin=$euc expect 0 "@$sjis" convert --from EUC_JP --to Shift_JIS -
  expect 0 "" convert --to ms932 -o "$work/out.txt" "$jis"
  same "$work/out.txt" "$sjis"
  expect 0 "@$sjis" convert --to ms932 -o - "$jis"

  label="--from settles an undecided text; a lone kana leaves only Shift_JIS"
  expect 0 "abcd" convert --to utf-8 --from ascii "$work/abcd"
  expect 0 "$(printf '\xe3\x81\x82')" convert --to utf-8 "$work/kana"

  label="unconvertible characters: counted, placed, replaced"
  expect 0 "$(printf 'abc\n\x82\xa0\x82\xa2?z?')" convert --from utf-8 --to sjis "$work/copyright"
  has "kmv: $work/copyright: 2 characters cannot be written in SJIS; the first at line 2, column 3 (U+00A9); replaced"
  stderr_lines 1
  # Shift_JIS 87 40 (circled one) is outside the common EUC-JP table; the
  # variants that hold NEC row 13 write it as AD A1.
  printf '\x82\xa0\r\n\x87\x40' >"$work/circled"
  expect 0 "$(printf '\xa4\xa2\r\n?')" convert --from sjis --to euc-jp "$work/circled"
  has "1 character cannot be written in EUC; the first at line 2, column 1 (0x8740)"
  expect 0 "$(printf '\xa4\xa2\r\n\xad\xa1')" convert --from sjis --to cp51932 "$work/circled"
  stderr_lines 0

  printf 'abc\x88' >"$work/cut"
  failures_table convert
  label="--strict with -o creates nothing"
  expect 1 '*' convert --strict --from utf-8 --to sjis -o "$work/strict.out" "$work/copyright"
  [ ! -e "$work/strict.out" ] || fail "--strict created $work/strict.out"

  label="several files and -j: output in file order"
  mkdir -p "$work/many"
  : >"$work/expected"
  for i in $(seq -w 1 30); do
    cp "$sjis" "$work/many/$i.a.txt"
    cp "$utf16le_bom" "$work/many/$i.b.txt"
    cat "$euc" "$euc" >>"$work/expected"
  done
  expect 0 "@$work/expected" convert -j 3 --to euc-jp -r "$work/many"
}

test_in_place() {
  label="--in-place converts and keeps the permission bits"
  cp "$sjis" "$work/a.txt"
  chmod 640 "$work/a.txt"
  expect 0 "" convert --in-place --to utf-8 "$work/a.txt"
  same "$work/a.txt" "$utf8"
  [ "$(stat -c %a "$work/a.txt")" = 640 ] || fail "mode became $(stat -c %a "$work/a.txt")"

  label="--in-place leaves the original intact when --strict fails"
  printf 'ok\n\xc2\xa9\n' >"$work/b.txt"
  cp "$work/b.txt" "$work/b.orig"
  expect 1 '*' convert --in-place --strict --from utf-8 --to euc-jp "$work/b.txt"
  has "1 character cannot be written in EUC; the first at line 2, column 1 (U+00A9); nothing written"
  same "$work/b.txt" "$work/b.orig"
  [ -z "$(ls "$work" | grep kmv-)" ] || fail "temporary files left: $(ls "$work")"

  label="--in-place through a symbolic link converts the file it names"
  cp "$euc" "$work/c.txt"
  ln -s c.txt "$work/link.txt"
  expect 0 '*' convert -i --to utf-8 "$work/link.txt"
  [ -L "$work/link.txt" ] || fail "the link was replaced"
  same "$work/c.txt" "$utf8"

  label="--in-place with -r and -j converts a whole tree"
  mkdir -p "$work/tree/sub"
  local f
  for f in "$samples"/japanese.*.txt; do
    cp "$f" "$work/tree/${f##*/}"
    cp "$f" "$work/tree/sub/${f##*/}"
  done
  expect 0 '*' convert -r -j 2 --in-place --to iso-2022-jp "$work/tree"
  for f in "$work"/tree/*.txt "$work"/tree/sub/*.txt; do
    same "$f" "$jis"
  done

  label="--in-place where no file can be made beside it"
  mkdir -p "$work/locked"
  cp "$sjis" "$work/locked/d.txt"
  chmod 755 "$work"
  chmod 644 "$work/locked/d.txt"
  chmod 555 "$work/locked"
  as_unprivileged convert --in-place --to utf-8 "$work/locked/d.txt"
  status=$?
  if [ "$status" -ne 99 ]; then
    is 1
    has "cannot create a file beside it: Permission denied"
    same "$work/locked/d.txt" "$sjis"
  fi
}

test_large() {
  label="a file beyond the default read limit (10 MiB) is handled whole"
  # 2^14 copies of the sample: 14.6 MB of Shift_JIS.
  cp "$sjis" "$work/big.sjis"
  cp "$utf8" "$work/big.utf8"
  local f
  for _ in $(seq 14); do
    for f in "$work/big.sjis" "$work/big.utf8"; do
      cat "$f" "$f" >"$f.tmp" && mv "$f.tmp" "$f"
    done
  done
  expect 0 "@$work/big.utf8" convert --to utf-8 "$work/big.sjis"
  expect 0 "$work/big.sjis: SJIS" detect "$work/big.sjis"
  expect 0 "@$work/big.utf8" cat --to utf-8 "$work/big.sjis"
}

test_cat() {
  label="cat prints every line in the target encoding"
  expect 0 "@$jis" cat --to iso-2022-jp "$utf16le_bom"
  expect 0 "@$work/utf16le" cat --to utf-16le "$utf8"
  expect 0 "@$utf8bom" cat --to utf-8-bom "$sjis"

  label="cat keeps the line ends"
  printf 'a\r\nb\rc' >"$work/crlf"
  expect 0 "@$work/crlf" cat --to utf-8 "$work/crlf"
  printf '\n\nx\n\n' >"$work/blank"
  expect 0 "@$work/blank" cat --to sjis "$work/blank"
  expect 0 "" cat --to utf-8 "$work/empty"

  label="cat reads standard input and several files"
  stdin=$euc run cat --to utf-8 - "$jis"
  cat "$utf8" "$utf8" >"$work/twice"
  is 0 "@$work/twice"

  label="cat failures leave the other files printed"
  expect 1 "@$utf8" cat --to utf-8 "$work/missing" "$work/abcd" "$sjis"
  has "kmv: $work/missing: No such file or directory" \
    "kmv: $work/abcd: cannot tell the encoding: it may be ASCII;UTF16BE;UTF16LE"
}

test_usage() {
  label="no arguments, --help and --version"
  expect 2 '*'
  has "Usage:"
  expect 0 '*' --help
  stderr_lines 0
  grep -qF "kmv convert --to NAME" "$out" || fail "--help lacks the convert line"
  expect 0 '*' --version
  grep -qE '^kmv [0-9]+\.[0-9]+' "$out" || fail "--version: $(cat "$out")"

  failures_table usage

  label="list: every name it shows is accepted"
  expect 0 '*' list
  grep -qE '^SJIS +.*Shift_JIS.*CP932' "$out" || fail "list lacks SJIS and its aliases"
  grep -qE '^EUC3\(EUC-MS\) +.*eucJP-ms' "$out" || fail "list lacks EUC3 and eucJP-ms"
  local name
  for name in $(sed -e 1d -e '/^$/,$d' -e 's/^\([^ ]*\) */\1, /' "$out" | tr ',' '\n'); do
    case ${name,,} in ascii | us-ascii) continue ;; esac
    "$kmv" convert --from sjis --to "$name" "$work/empty" >/dev/null 2>"$err" ||
      fail "--to $name refused: $(stderr_text)"
    "$kmv" detect --expect "$name" "$work/empty" >/dev/null 2>"$err" ||
      fail "--expect $name refused: $(stderr_text)"
  done
}

test_write_errors() {
  mkdir -p "$work/dir"
  failures_table write_errors
  label="standard output that cannot be written"
  if [ -w /dev/full ]; then
    "$kmv" convert --to utf-8 "$sjis" >/dev/full 2>"$err"
    status=$?
    is 1
    has "cannot write standard output"
  fi
}

test_lossless() {
  label="emoji and the line after a stray lead byte survive"
  printf 'de\xf0\x9f\x8d\xa3\nl\n' >"$work/emoji"
  printf 'd\0e\0\x3c\xd8\x63\xdf\n\0l\0\n\0' >"$work/emoji16"
  run convert --from utf-8 --to utf-16le "$work/emoji"
  is 0 "@$work/emoji16"
  printf 'a\xf0\x9f\x8d\xa3b\nc\n' >"$work/emoji"
  run convert --from utf-8 --to sjis "$work/emoji"
  is 0 "a??b
c"
  printf '\x82\nabc\n' >"$work/stray"
  run convert --from sjis --to utf-8 "$work/stray"
  is 0 "?
abc"
  has "1 character cannot be read as SJIS; the first at line 1, column 1 (0x82); replaced"
  printf 'ab\nc\xc3(\n' >"$work/malformed"
  failures_table lossless
}

"test_$group"
echo "$group: $((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
