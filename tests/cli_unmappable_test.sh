#!/usr/bin/env bash
# End-to-end tests of --unmappable in each target family, with characters
# the target lacks on both sides of the tool's 1 MiB pieces, against
# Python's codecs, iconv -c and nkf --fb-skip/html/java; and of cat on standard
# input, a FIFO, and its line ends.
#
#   cli_unmappable_test.sh KMV SAMPLES_DIR
# shellcheck source=cli_lib.sh
source "$(dirname "$0")/cli_lib.sh"
py=/usr/bin/python3

# A real text of more than 1 MiB; an emoji beyond U+FFFF stands across
# the first piece's end. Beside it, what Python's codecs make of the text
# under each policy: POLICY.CODEC.
"$py" - "$utf8" "$work" <<'PY'
import codecs, sys
def escape(e):
    units = e.object[e.start:e.end].encode("utf-16-be")
    return ("".join("\\u%02X%02X" % (units[i], units[i + 1])
            for i in range(0, len(units), 2)), e.end)
codecs.register_error("utf16escape", escape)
base = open(sys.argv[1], encoding="utf-8").read()
text = base * (2 ** 20 // len(base.encode()) + 2)
cut = len(text.encode()[: 2**20 - 2].decode("utf-8", "ignore"))
text = text[:cut] + "\U0001F600\u2661" + text[cut:] + "x\u20ac\n"
open(sys.argv[2] + "/text", "w", encoding="utf-8", newline="").write(text)
for policy, errors in {"skip": "ignore", "html": "xmlcharrefreplace", "escape": "utf16escape"}.items():
    for codec in ("cp932", "euc_jp", "iso2022_jp", "utf-16-le"):
        with open(f"{sys.argv[2]}/{policy}.{codec}", "w", encoding="utf-8", newline="") as f:
            f.write(text.encode(codec, errors).decode(codec))
PY
decoded() { "$py" -c 'import sys; sys.stdout.buffer.write(sys.stdin.buffer.read().decode(sys.argv[1]).encode())' "$1" <"$out"; }

test_all() {
  local policy pair to codec option
  for policy in skip html escape; do
    for pair in sjis:cp932 euc-jp:euc_jp iso-2022-jp:iso2022_jp utf-16le:utf-16-le; do
      to=${pair%%:*} codec=${pair#*:}
      label="--unmappable=$policy to $to"
      expect 0 '*' convert --from utf-8 --to "$to" --unmappable=$policy "$work/text"
      check "differs from Python" cmp -s <(decoded "$codec") "$work/$policy.$codec"
      case $to in
        utf-16le) stderr_lines 0 ;;
        *) has "3 characters cannot be written" "; the first at line" ;;
      esac
      cp "$out" "$work/file.out"
      label="--unmappable=$policy to $to through a pipe"
      expect 0 "@$work/file.out" convert --from utf-8 --to "$to" --unmappable=$policy < <(cat "$work/text")
    done
  done

  for pair in skip:--fb-skip html:--fb-html escape:--fb-java; do
    label="--unmappable=${pair%%:*} agrees with nkf ${pair#*:}"
    nkf -W -s -x "${pair#*:}" "$work/text" >"$work/want"
    expect 0 "@$work/want" convert --to sjis --unmappable="${pair%%:*}" "$work/text"
  done
  label="--unmappable=skip agrees with iconv -c"
  iconv -c -f UTF-8 -t EUC-JP "$work/text" >"$work/want" 2>/dev/null
  expect 0 "@$work/want" convert --to euc-jp --unmappable=skip "$work/text"

  label="fail and --strict write nothing"
  for option in --unmappable=fail --strict; do
    expect 1 '' convert --to jis $option <"$work/text"
    has "nothing written"
  done

  table unmappable
  label="cat reads a FIFO"
  mkfifo "$work/fifo"
  "$py" -c 'import sys; open(sys.argv[1], "wb").write(open(sys.argv[2], "rb").read())' "$work/fifo" "$work/text" &
  expect 0 "@$work/text" cat --to utf-8 "$work/fifo"
  wait
}

run_group
