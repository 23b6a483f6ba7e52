#!/usr/bin/env bash
# End-to-end tests of --unmappable in each target family, with characters
# the target lacks on both sides of the tool's 1 MiB pieces, against
# Python's codecs, iconv -c and nkf --fb-skip/html/java; and of cat on standard
# input, a FIFO, and its line ends.
# Usage: cli_unmappable_test.sh KMV SAMPLES
set -u
kmv=$1
samples=$2
py=/usr/bin/python3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL $label: $*"
  failures=$((failures + 1))
}

# A real text of more than 1 MiB; an emoji beyond U+FFFF stands across
# the first piece's end.
"$py" - "$samples/japanese.utf-8.txt" "$work/text" <<'PY'
import sys
base = open(sys.argv[1], encoding="utf-8").read()
text = base * (2 ** 20 // len(base.encode()) + 2)
cut = len(text.encode()[: 2**20 - 2].decode("utf-8", "ignore"))
text = text[:cut] + "\U0001F600\u2661" + text[cut:] + "x\u20ac\n"
open(sys.argv[2], "w", encoding="utf-8", newline="").write(text)
PY

# What Python makes of the text under a policy, in an encoding's codec.
expected() {
  "$py" - "$work/text" "$1" "$2" <<'PY'
import codecs, sys
def escape(e):
    units = e.object[e.start:e.end].encode("utf-16-be")
    return ("".join("\\u%02X%02X" % (units[i], units[i + 1])
            for i in range(0, len(units), 2)), e.end)
codecs.register_error("utf16escape", escape)
errors = {"skip": "ignore", "html": "xmlcharrefreplace",
          "escape": "utf16escape"}[sys.argv[3]]
text = open(sys.argv[1], encoding="utf-8", newline="").read()
sys.stdout.write(text.encode(sys.argv[2], errors).decode(sys.argv[2]))
PY
}
decoded() { "$py" -c 'import sys; sys.stdout.write(sys.stdin.buffer.read().decode(sys.argv[1]))' "$1"; }

for policy in skip html escape; do
  for pair in sjis:cp932 euc-jp:euc_jp iso-2022-jp:iso2022_jp utf-16le:utf-16-le; do
    to=${pair%%:*} codec=${pair#*:}
    label="--unmappable=$policy to $to"
    expected "$codec" "$policy" >"$work/want"
    "$kmv" convert --from utf-8 --to "$to" --unmappable=$policy "$work/text" \
      >"$work/out" 2>"$work/err" || fail "exit status $?"
    decoded "$codec" <"$work/out" | cmp -s - "$work/want" || fail "differs from Python"
    case $to in
      utf-16le) [ ! -s "$work/err" ] || fail "reported: $(cat "$work/err")" ;;
      *) grep -q '3 characters cannot be written.*the first at line' "$work/err" ||
        fail "report: $(cat "$work/err")" ;;
    esac
    label="--unmappable=$policy to $to through a pipe"
    "$kmv" convert --from utf-8 --to "$to" --unmappable=$policy <"$work/text" 2>/dev/null |
      cmp -s - "$work/out" || fail "differs from the file's conversion"
  done
done

for pair in skip:--fb-skip html:--fb-html escape:--fb-java; do
  label="--unmappable=${pair%%:*} agrees with nkf ${pair#*:}"
  "$kmv" convert --to sjis --unmappable=${pair%%:*} "$work/text" 2>/dev/null >"$work/out"
  nkf -W -s -x ${pair#*:} "$work/text" | cmp -s - "$work/out" || fail "differs"
done
label="--unmappable=skip agrees with iconv -c"
"$kmv" convert --to euc-jp --unmappable=skip "$work/text" 2>/dev/null >"$work/out"
iconv -c -f UTF-8 -t EUC-JP "$work/text" 2>/dev/null | cmp -s - "$work/out" || fail "differs"

label="fail and --strict write nothing"
for option in --unmappable=fail --strict; do
  "$kmv" convert --to jis $option <"$work/text" >"$work/out" 2>"$work/err"
  [ $? = 1 ] && [ ! -s "$work/out" ] && grep -q 'nothing written' "$work/err" ||
    fail "$option"
done

label="cat reads standard input without -, keeps CR LF, rewrites with --eol"
printf '\xe3\x81\x82\r\n\xe2\x82\xac\r\n' >"$work/crlf"
[ "$("$kmv" cat --to sjis --unmappable=html <"$work/crlf" 2>/dev/null | od -An -c | tr -d ' \n')" = '202240\r\n&#8364;\r\n' ] ||
  fail "standard input"
[ "$("$kmv" cat --to utf-16be --eol lf "$work/crlf" | od -An -tx1 | tr -d ' \n')" = '3042000a20ac000a' ] ||
  fail "--eol lf"
label="cat reports as convert does"
"$kmv" convert --to sjis "$work/crlf" 2>"$work/want" >/dev/null
"$kmv" cat --to sjis "$work/crlf" 2>&1 >/dev/null | cmp -s - "$work/want" || fail "$(cat "$work/want")"
label="cat reads a FIFO"
mkfifo "$work/fifo"
"$py" -c 'import sys; open(sys.argv[1], "wb").write(open(sys.argv[2], "rb").read())' "$work/fifo" "$work/text" &
"$kmv" cat --to utf-8 "$work/fifo" | cmp -s - "$work/text" || fail "differs"
wait

[ "$failures" = 0 ] && echo "all unmappable tests passed"
exit $((failures > 0))
