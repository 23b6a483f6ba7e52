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

case_() { label=$1; }
fail() {
  echo "FAIL [$group] $label: $*" >&2
  failures=$((failures + 1))
}
# kmv ARGS...: runs the tool with standard input from /dev/null.
run() {
  "$kmv" "$@" </dev/null >"$out" 2>"$err"
  status=$?
}
# run_with INPUT ARGS...: the same with standard input from INPUT.
run_with() {
  local input=$1
  shift
  "$kmv" "$@" <"$input" >"$out" 2>"$err"
  status=$?
}
stderr_text() { head -c 400 "$err" | tr '\n' '|'; }
want_status() {
  checks=$((checks + 1))
  [ "$status" -eq "$1" ] || fail "exit status $status, wanted $1 (stderr: $(stderr_text))"
}
want_stdout_file() {
  checks=$((checks + 1))
  cmp -s "$out" "$1" || fail "standard output differs from $1 ($(wc -c <"$out") bytes)"
}
want_stdout() {
  checks=$((checks + 1))
  local expected
  expected=$(printf '%s' "$1")
  [ "$(cat "$out")" == "$expected" ] || fail "standard output: '$(head -c 400 "$out")', wanted '$expected'"
}
want_stdout_empty() {
  checks=$((checks + 1))
  [ ! -s "$out" ] || fail "standard output not empty: $(head -c 200 "$out")"
}
want_stderr_has() {
  checks=$((checks + 1))
  grep -qF -- "$1" "$err" || fail "standard error lacks '$1': $(stderr_text)"
}
want_stderr_lines() {
  checks=$((checks + 1))
  [ "$(wc -l <"$err")" -eq "$1" ] || fail "$(wc -l <"$err") lines on standard error, wanted $1: $(stderr_text)"
}
want_same_file() {
  checks=$((checks + 1))
  cmp -s "$1" "$2" || fail "$1 differs from $2"
}

# The name each sample must be detected as.
declare -A sample_names=(
  [japanese.utf-8.txt]=UTF8
  [japanese.utf-8-bom.txt]=UTF8_BOM
  [japanese.shift_jis.txt]=SJIS
  [japanese.euc-jp.txt]=EUC
  [japanese.iso-2022-jp.txt]=JIS
  [japanese.utf-16le-bom.txt]=UTF16LE_BOM
  [japanese.utf-16be.txt]=UTF16BE
)

# Runs CMD as an unprivileged user when we are root (root reads and writes
# everything), else as ourselves. Returns 1 when that is not possible.
as_unprivileged() {
  if [ "$(id -u)" -ne 0 ]; then
    "$@"
  elif command -v setpriv >/dev/null &&
    setpriv --reuid=65534 --regid=65534 --clear-groups "$kmv" --version >/dev/null 2>&1; then
    setpriv --reuid=65534 --regid=65534 --clear-groups "$@"
  else
    return 99
  fi
}

# Doubles a file n times into another: 2^n copies.
repeat_file() {
  local from=$1 to=$2 n=$3
  cp "$from" "$to"
  for _ in $(seq "$n"); do
    cat "$to" "$to" >"$to.tmp" && mv "$to.tmp" "$to"
  done
}

test_detect() {
  case_ "every sample is detected"
  run detect "$samples"/japanese.*.txt
  want_status 0
  local expected="" f
  for f in "$samples"/japanese.*.txt; do
    expected+="$f: ${sample_names[$(basename "$f")]}"$'\n'
  done
  want_stdout "$expected"

  case_ "standard input, with and without -"
  run_with "$sjis" detect
  want_status 0
  want_stdout "(standard input): SJIS"
  run_with "$sjis" detect -
  want_stdout "(standard input): SJIS"

  # "abcd" fits ASCII and both UTF-16 byte orders; nothing decides.
  printf 'abcd' >"$work/abcd"
  case_ "undecided: the candidates joined by ;"
  run detect "$work/abcd"
  want_status 0
  want_stdout "$work/abcd: ASCII;UTF16BE;UTF16LE"

  case_ "--expect breaks the tie, --ignore-hints sets it aside"
  run detect --expect utf-16be "$work/abcd"
  want_stdout "$work/abcd: UTF16BE"
  run detect --expect UTF16BE --ignore-hints "$work/abcd"
  want_stdout "$work/abcd: ASCII;UTF16BE;UTF16LE"

  case_ "empty and unfit texts"
  : >"$work/empty"
  printf '\xff\xff\xff' >"$work/unfit"
  run detect "$work/empty" "$work/unfit"
  want_status 0
  want_stdout "$work/empty: empty
$work/unfit: none"

  case_ "--json: one object per file"
  # 82 A0 is a Shift_JIS hiragana: the kana preference narrows the answer
  # to the Shift_JIS mask (256), which is still undecided.
  printf '\x82\xa0' >"$work/kana"
  run detect --json "$work/abcd" "$work/kana" "$work/unfit"
  want_status 0
  want_stdout "{\"path\":\"$work/abcd\",\"result\":41024,\"decided\":false,\"encoding\":null,\"names\":[\"ASCII\",\"UTF16BE\",\"UTF16LE\"]}
{\"path\":\"$work/kana\",\"result\":256,\"decided\":false,\"encoding\":null,\"names\":[\"SJIS\"]}
{\"path\":\"$work/unfit\",\"result\":-1,\"decided\":false,\"encoding\":null,\"names\":[]}"
  run_with "$utf8bom" detect --json
  want_stdout '{"path":"-","result":16,"decided":true,"encoding":"UTF8_BOM","names":["UTF8_BOM"]}'
  run detect --json "$work/missing" "$work/empty"
  want_status 1
  want_stdout "{\"path\":\"$work/missing\",\"result\":null,\"decided\":false,\"encoding\":null,\"names\":[],\"error\":\"No such file or directory\"}
{\"path\":\"$work/empty\",\"result\":0,\"decided\":false,\"encoding\":null,\"names\":[]}"

  case_ "a missing file fails alone; the others are still detected"
  run detect "$work/missing" "$sjis"
  want_status 1
  want_stdout "$sjis: SJIS"
  want_stderr_has "kmv: $work/missing: No such file or directory"
  want_stderr_lines 1

  case_ "a directory needs -r"
  mkdir -p "$work/tree/b/c" "$work/tree/a"
  cp "$euc" "$work/tree/b/c/one.txt"
  cp "$jis" "$work/tree/a/two.txt"
  cp "$utf8" "$work/tree/z.txt"
  run detect "$work/tree"
  want_status 1
  want_stdout_empty
  want_stderr_has "kmv: $work/tree: is a directory (use -r to walk it)"

  case_ "-r walks directories in name order, regular files only"
  mkfifo "$work/tree/b/pipe"
  ln -s ../b "$work/tree/a/loop"
  run detect -r "$work/tree" "$sjis"
  want_status 0
  want_stdout "$work/tree/a/two.txt: JIS
$work/tree/b/c/one.txt: EUC
$work/tree/z.txt: UTF8
$sjis: SJIS"

  case_ "-j keeps the file order"
  mkdir -p "$work/many"
  local i base expected_many=""
  for i in $(seq -w 1 12); do
    for f in "$samples"/japanese.*.txt; do
      base=${f##*/}
      cp "$f" "$work/many/$i.$base"
      expected_many+="$work/many/$i.$base: ${sample_names[$base]}"$'\n'
    done
  done
  run detect -j 4 -r "$work/many"
  want_status 0
  want_stdout "$expected_many"
  run detect -j0 -r "$work/many"
  want_stdout "$expected_many"

  case_ "--progress reports on standard error only"
  run detect --progress -r "$work/tree"
  want_status 0
  want_stderr_has "[3/3]"
  want_stdout "$work/tree/a/two.txt: JIS
$work/tree/b/c/one.txt: EUC
$work/tree/z.txt: UTF8"

  case_ "an unreadable file"
  cp "$sjis" "$work/secret"
  chmod 000 "$work/secret"
  chmod 755 "$work"
  as_unprivileged "$kmv" detect "$work/secret" "$work/tree/z.txt" >"$out" 2>"$err"
  status=$?
  if [ "$status" -ne 99 ]; then
    want_status 1
    want_stderr_has "kmv: $work/secret: Permission denied"
    want_stdout "$work/tree/z.txt: UTF8"
  fi

  case_ "a file beyond the library's 32-bit sizes is refused"
  truncate -s 3G "$work/huge"
  run detect "$work/huge"
  want_status 1
  want_stderr_has "kmv: $work/huge: too large: 3221225472 bytes"
}

test_convert() {
  case_ "Shift_JIS into every other encoding"
  local to expected
  for to in utf-8:$utf8 utf-8-bom:$utf8bom euc-jp:$euc iso-2022-jp:$jis \
            utf-16le-bom:$utf16le_bom utf-16be:$utf16be shift_jis:$sjis; do
    expected=${to#*:}
    run convert --to "${to%%:*}" "$sjis"
    want_status 0
    want_stdout_file "$expected"
  done

  case_ "every sample into UTF-8, detected"
  local f
  for f in "$samples"/japanese.*.txt; do
    run convert --to utf-8 "$f"
    want_status 0
    want_stdout_file "$utf8"
  done

  case_ "EUC-JP variants: common text converts the same into each"
  for to in euc-jp cp20932 cp51932 eucjp-ms 'EUC3(EUC-MS)' euc1; do
    run convert --to "$to" "$utf8"
    want_status 0
    want_stdout_file "$euc"
  done

  case_ "the byte-order mark alone is added or removed"
  run convert --to utf-8-bom "$utf8"
  want_stdout_file "$utf8bom"
  run convert --to utf-8 "$utf8bom"
  want_stdout_file "$utf8"
  tail -c +3 "$utf16le_bom" >"$work/utf16le"
  run convert --to utf-16le "$utf16le_bom"
  want_stdout_file "$work/utf16le"
  run convert --to utf-16le-bom --from utf-16le "$work/utf16le"
  want_stdout_file "$utf16le_bom"
  # Plain "utf-16" takes the byte order of the mark.
  { printf '\xfe\xff'; cat "$utf16be"; } >"$work/utf16be_bom"
  run convert --from utf-16 --to utf-8 "$work/utf16be_bom"
  want_stdout_file "$utf8"

  case_ "standard input to standard output, names in any case"
  run_with "$sjis" convert --to UTF-8
  want_status 0
  want_stdout_file "$utf8"
  run_with "$euc" convert --from EUC_JP --to Shift_JIS -
  want_stdout_file "$sjis"

  case_ "-o writes the file and nothing else"
  run convert --to ms932 -o "$work/out.txt" "$jis"
  want_status 0
  want_stdout_empty
  want_same_file "$work/out.txt" "$sjis"
  run convert --to ms932 -o - "$jis"
  want_stdout_file "$sjis"

  case_ "an undecided text is an error naming the candidates"
  printf 'abcd' >"$work/abcd"
  run convert --to utf-8 "$work/abcd"
  want_status 1
  want_stdout_empty
  want_stderr_has "kmv: $work/abcd: cannot tell the encoding: it may be ASCII;UTF16BE;UTF16LE"
  run convert --to utf-8 --expect ascii "$work/abcd"
  want_status 1
  run convert --to utf-8 --from ascii "$work/abcd"
  want_status 0
  want_stdout "abcd"
  # A lone Shift_JIS hiragana leaves Shift_JIS the only candidate.
  printf '\x82\xa0' >"$work/kana"
  run convert --to utf-8 "$work/kana"
  want_status 0
  want_stdout "$(printf '\xe3\x81\x82')"
  run cat --to utf-8 "$work/kana"
  want_status 1
  want_stderr_has "only likely SJIS, and cat takes decided encodings only (kmv convert --from SJIS takes it)"
  printf '\xff\xff\xff' >"$work/unfit"
  run convert --to utf-8 "$work/unfit"
  want_status 1
  want_stderr_has "no supported encoding fits the text"

  case_ "unconvertible characters: counted, placed, replaced"
  # U+00A9 has no Shift_JIS code; the first stands on line 2 after the two
  # characters あい.
  printf 'abc\n\xe3\x81\x82\xe3\x81\x84\xc2\xa9z\xc2\xa9\n' >"$work/copyright"
  run convert --from utf-8 --to sjis "$work/copyright"
  want_status 0
  want_stdout "$(printf 'abc\n\x82\xa0\x82\xa2?z?')"
  want_stderr_has "kmv: $work/copyright: 2 characters cannot be written in SJIS; the first at line 2, column 3 (U+00A9); replaced"
  want_stderr_lines 1
  # Shift_JIS 87 40 (circled digit one) is outside the common EUC-JP table;
  # the code is given as the Shift_JIS bytes.
  printf '\x82\xa0\r\n\x87\x40' >"$work/circled"
  run convert --from sjis --to euc-jp "$work/circled"
  want_status 0
  want_stdout "$(printf '\xa4\xa2\r\n?')"
  want_stderr_has "1 character cannot be written in EUC; the first at line 2, column 1 (0x8740)"
  # The variants that hold NEC row 13 write it as AD A1.
  run convert --from sjis --to cp51932 "$work/circled"
  want_status 0
  want_stdout "$(printf '\xa4\xa2\r\n\xad\xa1')"
  want_stderr_lines 0

  case_ "--strict fails without writing"
  run convert --strict --from utf-8 --to sjis "$work/copyright"
  want_status 1
  want_stdout_empty
  want_stderr_has "2 characters cannot be written in SJIS; the first at line 2, column 3 (U+00A9); nothing written"
  run convert --strict --from utf-8 --to sjis -o "$work/strict.out" "$work/copyright"
  want_status 1
  checks=$((checks + 1))
  [ ! -e "$work/strict.out" ] || fail "--strict created $work/strict.out"

  case_ "a text cut inside a character"
  printf 'abc\x88' >"$work/cut"
  run convert --from sjis --to utf-8 "$work/cut"
  want_status 1
  want_stdout_empty
  want_stderr_has "the text ends inside a character (SJIS, line 1, column 4); nothing written"

  case_ "an empty text converts to nothing, or to the mark alone"
  : >"$work/empty"
  run convert --to utf-8 "$work/empty"
  want_status 0
  want_stdout_empty
  run convert --to utf-16le-bom "$work/empty"
  want_stdout "$(printf '\xff\xfe')"

  case_ "several files and -j: output in file order"
  mkdir -p "$work/many"
  : >"$work/expected"
  local i
  for i in $(seq -w 1 30); do
    cp "$sjis" "$work/many/$i.a.txt"
    cp "$utf16le_bom" "$work/many/$i.b.txt"
    cat "$euc" "$euc" >>"$work/expected"
  done
  run convert -j 3 --to euc-jp -r "$work/many"
  want_status 0
  want_stdout_file "$work/expected"
}

test_in_place() {
  case_ "--in-place converts and keeps the permission bits"
  cp "$sjis" "$work/a.txt"
  chmod 640 "$work/a.txt"
  run convert --in-place --to utf-8 "$work/a.txt"
  want_status 0
  want_stdout_empty
  want_same_file "$work/a.txt" "$utf8"
  checks=$((checks + 1))
  [ "$(stat -c %a "$work/a.txt")" = 640 ] || fail "mode became $(stat -c %a "$work/a.txt")"

  case_ "--in-place leaves the original intact when --strict fails"
  printf 'ok\n\xc2\xa9\n' >"$work/b.txt"
  cp "$work/b.txt" "$work/b.orig"
  run convert --in-place --strict --from utf-8 --to euc-jp "$work/b.txt"
  want_status 1
  want_stderr_has "1 character cannot be written in EUC; the first at line 2, column 1 (U+00A9); nothing written"
  want_same_file "$work/b.txt" "$work/b.orig"
  checks=$((checks + 1))
  [ -z "$(ls "$work" | grep kmv-)" ] || fail "temporary files left: $(ls "$work")"

  case_ "--in-place through a symbolic link converts the file it names"
  cp "$euc" "$work/c.txt"
  ln -s c.txt "$work/link.txt"
  run convert -i --to utf-8 "$work/link.txt"
  want_status 0
  checks=$((checks + 1))
  [ -L "$work/link.txt" ] || fail "the link was replaced"
  want_same_file "$work/c.txt" "$utf8"

  case_ "--in-place with -r and -j converts a whole tree"
  mkdir -p "$work/tree/sub"
  local f
  for f in "$samples"/japanese.*.txt; do
    cp "$f" "$work/tree/$(basename "$f")"
    cp "$f" "$work/tree/sub/$(basename "$f")"
  done
  run convert -r -j 2 --in-place --to iso-2022-jp "$work/tree"
  want_status 0
  for f in "$work"/tree/*.txt "$work"/tree/sub/*.txt; do
    want_same_file "$f" "$jis"
  done

  case_ "--in-place where no file can be made beside it"
  mkdir -p "$work/locked"
  cp "$sjis" "$work/locked/d.txt"
  chmod 755 "$work" "$work/locked"
  chmod 644 "$work/locked/d.txt"
  chmod 555 "$work/locked"
  as_unprivileged "$kmv" convert --in-place --to utf-8 "$work/locked/d.txt" >"$out" 2>"$err"
  status=$?
  if [ "$status" -ne 99 ]; then
    want_status 1
    want_stderr_has "cannot create a file beside it: Permission denied"
    want_same_file "$work/locked/d.txt" "$sjis"
  fi
}

test_large() {
  # 2^14 copies of the sample: 14.6 MB of Shift_JIS, beyond the library's
  # default read limit of 10 MiB.
  repeat_file "$sjis" "$work/big.sjis" 14
  repeat_file "$utf8" "$work/big.utf8" 14
  case_ "a file beyond the default read limit is converted whole"
  run convert --to utf-8 "$work/big.sjis"
  want_status 0
  want_stdout_file "$work/big.utf8"
  case_ "and detected"
  run detect "$work/big.sjis"
  want_stdout "$work/big.sjis: SJIS"
  case_ "and printed line by line"
  run cat --to utf-8 "$work/big.sjis"
  want_status 0
  want_stdout_file "$work/big.utf8"
}

test_cat() {
  case_ "cat prints every line in the target encoding"
  run cat --to utf-8 "$sjis"
  want_status 0
  want_stdout_file "$utf8"
  run cat --to iso-2022-jp "$utf16le_bom"
  want_stdout_file "$jis"
  run cat --to utf-16be "$euc"
  want_stdout_file "$utf16be"
  tail -c +3 "$utf16le_bom" >"$work/utf16le"
  run cat --to utf-16le "$utf8"
  want_stdout_file "$work/utf16le"
  run cat --to utf-8-bom "$sjis"
  want_stdout_file "$utf8bom"

  case_ "cat ends every line with a line feed"
  printf 'a\r\nb\rc' >"$work/crlf"
  run cat --to utf-8 "$work/crlf"
  want_stdout "$(printf 'a\nb\nc\n')"
  printf '\n\nx\n\n' >"$work/blank"
  run cat --to sjis "$work/blank"
  want_stdout_file "$work/blank"

  case_ "cat reads standard input and several files"
  run_with "$euc" cat --to utf-8 - "$jis"
  want_status 0
  cat "$utf8" "$utf8" >"$work/twice"
  want_stdout_file "$work/twice"

  case_ "cat of an empty file prints nothing"
  : >"$work/empty"
  run cat --to utf-8 "$work/empty"
  want_status 0
  want_stdout_empty

  case_ "cat failures"
  printf 'abcd' >"$work/abcd"
  run cat --to utf-8 "$work/missing" "$work/abcd" "$sjis"
  want_status 1
  want_stderr_has "kmv: $work/missing: No such file or directory"
  want_stderr_has "kmv: $work/abcd: cannot tell the encoding: it may be ASCII;UTF16BE;UTF16LE"
  want_stdout_file "$utf8"
  run cat --to utf-8 "$work"
  want_status 1
  want_stderr_has "is a directory"
}

test_usage() {
  case_ "no arguments: usage, status 2"
  run
  want_status 2
  want_stderr_has "Usage:"
  case_ "--help and --version"
  run --help
  want_status 0
  want_stderr_lines 0
  grep -qF "kmv convert --to NAME" "$out" || fail "--help lacks the convert line"
  run --version
  want_status 0
  grep -qE '^kmv [0-9]+\.[0-9]+' "$out" || fail "--version: $(cat "$out")"

  case_ "command-line mistakes: one line, status 2"
  local args
  while IFS= read -r line; do
    [ -n "$line" ] || continue
    local expected=${line%%|*}
    eval "args=(${line#*|})"
    run "${args[@]}"
    label="usage: ${args[*]}"
    want_status 2
    want_stderr_lines 1
    want_stderr_has "$expected"
    want_stdout_empty
  done <<'EOF'
unknown command 'frobnicate'|frobnicate
unknown encoding 'klingon' (see 'kmv list')|convert --to klingon x
unknown encoding 'latin1'|detect --expect latin1 x
wants the target encoding: --to NAME|convert x
wants the target encoding|cat x
ASCII is no target|convert --to ascii x
-o writes one file|convert --to utf-8 -o out a b
-o writes one file|convert --to utf-8 -r -o out dir
-o and --in-place exclude each other|convert --to utf-8 -o out --in-place a
--in-place wants files|convert --to utf-8 --in-place
--in-place cannot replace standard input|convert --to utf-8 -i -
'convert' has no option --bogus|convert --bogus --to utf-8 x
'detect' has no option --to|detect --to utf-8 x
'cat' has no option -r|cat -r --to utf-8 x
-j wants a number of jobs|detect -j many x
-j wants a number|detect -j 999 x
--to wants a value|convert x --to
--json takes no value|detect --json=yes x
'list' takes no arguments|list extra
'cat' wants a file|cat --to utf-8
EOF

  case_ "list: every name it shows is accepted"
  run list
  want_status 0
  grep -qE '^SJIS +.*Shift_JIS.*CP932' "$out" || fail "list lacks SJIS and its aliases"
  grep -qE '^EUC3\(EUC-MS\) +.*eucJP-ms' "$out" || fail "list lacks EUC3 and eucJP-ms"
  local names
  names=$(tail -n +2 "$out" | sed -e 's/^\([^ ]*\) */\1, /' | tr ',' '\n' | sed -e 's/^ *//' -e '/^$/d')
  : >"$work/empty"
  local name
  for name in $names; do
    case ${name,,} in ascii | us-ascii) continue ;; esac
    "$kmv" convert --from sjis --to "$name" "$work/empty" >/dev/null 2>"$err" ||
      fail "--to $name refused: $(stderr_text)"
    "$kmv" detect --expect "$name" "$work/empty" >/dev/null 2>"$err" ||
      fail "--expect $name refused: $(stderr_text)"
  done
}

test_write_errors() {
  case_ "-o into a directory"
  mkdir -p "$work/dir"
  run convert --to utf-8 -o "$work/dir" "$sjis"
  want_status 1
  want_stderr_has "kmv: $sjis: $work/dir: cannot open for writing: Is a directory"
  case_ "-o into a missing directory"
  run convert --to utf-8 -o "$work/nowhere/out.txt" "$sjis"
  want_status 1
  want_stderr_has "cannot open for writing: No such file or directory"
  case_ "convert of a missing file and of a directory"
  run convert --to utf-8 "$work/missing" "$work/dir"
  want_status 1
  want_stderr_has "kmv: $work/missing: No such file or directory"
  want_stderr_has "kmv: $work/dir: is a directory (use -r to walk it)"
  case_ "standard output that cannot be written"
  if [ -w /dev/full ]; then
    "$kmv" convert --to utf-8 "$sjis" >/dev/full 2>"$err"
    status=$?
    want_status 1
    want_stderr_has "cannot write standard output"
  fi
}

"test_$group"
echo "$group: $((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
