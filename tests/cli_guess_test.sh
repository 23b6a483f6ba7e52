#!/usr/bin/env bash
# The tool's best guess: detect --guess and convert of undecided texts.
#
#   cli_guess_test.sh KMV
set -uo pipefail
export LC_ALL=C
kmv=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
# same WHAT GOT WANTED
same() { [ "$2" == "$3" ] || fail "$1: got '$2', wanted '$3'"; }

printf 'abcd' >"$work/abcd"                       # ASCII or either UTF-16
printf '\x82\xa0' >"$work/kana"                   # Shift_JIS あ
printf '\xe3\x81\x93\xe3\x82\x93\xe3\x81\xab' >"$work/utf8"  # こんに: SJIS or UTF-8
printf '\xb4\xc1\xbb\xfa' >"$work/euc"            # EUC-JP 漢字, also UTF-8-free SJIS
printf '\xff\xff\xff' >"$work/unfit"
: >"$work/empty"

same "plain detect leaves candidates" "$("$kmv" detect "$work/utf8")" "$work/utf8: SJIS;UTF8"
same "one name per file" "$("$kmv" detect --guess "$work"/{abcd,kana,utf8,euc,unfit,empty})" \
  "$work/abcd: ASCII
$work/kana: SJIS
$work/utf8: UTF8
$work/euc: EUC
$work/unfit: none
$work/empty: empty"

json=$("$kmv" detect --guess --json "$work/utf8")
[[ $json =~ ^\{\"path\":\"$work/utf8\",\"encoding\":\"UTF8\",\"confidence\":(0\.[5-9][0-9]*|1\.000),\"runner_up\":\"SJIS\",\"detected\":131328\}$ ]] ||
  fail "json: $json"

out=$("$kmv" convert --to utf-8 "$work/utf8" 2>"$work/err")
same "convert guesses the source" "$out" "こんに"
grep -q "guessed UTF8 among SJIS;UTF8" "$work/err" || fail "no note: $(cat "$work/err")"
"$kmv" convert --no-guess --to utf-8 "$work/utf8" >/dev/null 2>"$work/err"
same "--no-guess fails" "$?" 1
grep -q "cannot tell the encoding: it may be SJIS;UTF8" "$work/err" || fail "--no-guess: $(cat "$work/err")"
"$kmv" convert --to utf-8 "$work/unfit" >/dev/null 2>&1
same "nothing fits" "$?" 1
"$kmv" convert --guess --to utf-8 "$work/utf8" >/dev/null 2>&1
same "--guess is for detect" "$?" 2

[ "$failures" -eq 0 ] || exit 1
echo "guess: all checks passed"
