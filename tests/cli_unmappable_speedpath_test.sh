#!/usr/bin/env bash
# --unmappable into ISO-2022-JP, from a file and through a pipe: the bytes
# of Python's iso2022_jp codec, escape sequences included, with characters
# the target lacks right at the tool's 1 MiB piece boundaries.
# Usage: cli_unmappable_speedpath_test.sh KMV SAMPLES
# shellcheck source=cli_lib.sh
source "$(dirname "$0")/cli_lib.sh"

test_all() {
  # Two-byte text without ASCII, across the pieces' ends; an emoji at the
  # first piece's end, and a character the target lacks just after the
  # second's.
  /usr/bin/python3 - "$utf8" "$work" <<'PY'
import sys
base = "".join(c for c in open(sys.argv[1], encoding="utf-8").read() if c > "~")
text = (base * (3 * 2**20 // len(base.encode()) + 1)).encode()
def insert(text, at, char):
    at = len(text[:at].decode("utf-8", "ignore").encode())
    return text[:at] + char.encode() + text[at:]
text = insert(text, 2**20, "\U0001F600")
text = insert(text, 2 * 2**20 + 3, "\u2661").decode()
open(sys.argv[2] + "/text", "w", encoding="utf-8").write(text)
for errors in ("ignore", "xmlcharrefreplace"):
    open(sys.argv[2] + "/" + errors, "wb").write(text.encode("iso2022_jp", errors))
PY
  local pair
  for pair in skip:ignore html:xmlcharrefreplace; do
    label="--unmappable=${pair%%:*} from a file"
    run convert --from utf-8 --to jis --unmappable="${pair%%:*}" "$work/text"
    same "$out" "$work/${pair#*:}"
    label="--unmappable=${pair%%:*} through a pipe"
    run convert --from utf-8 --to jis --unmappable="${pair%%:*}" <"$work/text"
    same "$out" "$work/${pair#*:}"
  done
}
run_group
