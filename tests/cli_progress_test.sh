#!/usr/bin/env bash
# The progress bar of a single text: on a terminal only, erased at the end.
# shellcheck source=cli_lib.sh
source "$(dirname "$0")/cli_lib.sh"

test_all() {
  local slow="(sleep 0.5; printf ab; sleep 0.5; printf cd)"
  label="on a terminal"
  script -qec "$slow | $kmv convert --from sjis --to utf-8 -o $work/out" /dev/null >"$work/tty"
  check "the converted text" [ "$(cat "$work/out")" = abcd ]
  check "no bar" grep -q 'kmv: [24] B, [0-9.]* [KMG]*i*B/s' "$work/tty"
  check "the bar stays" [ "$(tail -c 4 "$work/tty")" = $'\r\033[K' ]
  label="standard error in a log, or the text into a pipe"
  eval "$slow" | "$kmv" convert --from sjis --to utf-8 -o "$work/out" 2>"$work/log"
  check "a bar in a log" [ ! -s "$work/log" ]
  script -qec "$slow | $kmv convert --from sjis --to utf-8 | cat" /dev/null >"$work/tty"
  check "a bar beside a pipe" not grep -q 'kmv:' "$work/tty"
}
run_group
