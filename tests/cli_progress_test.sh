#!/usr/bin/env bash
# The progress bar of a single text: on a terminal only, erased at the end.
set -euo pipefail
kmv=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
slow="(sleep 0.5; printf ab; sleep 0.5; printf cd)"

script -qec "$slow | $kmv convert --from sjis --to utf-8 -o $dir/out" \
  /dev/null >"$dir/tty"
[ "$(cat "$dir/out")" = abcd ] || fail "the converted text"
grep -q 'kmv: [24] B, [0-9.]* [KMG]*i*B/s' "$dir/tty" || fail "no bar on a terminal"
[ "$(tail -c 4 "$dir/tty")" = $'\r\033[K' ] || fail "the bar stays"

# Standard error in a log, or the text into a pipe: no bar.
eval "$slow" | "$kmv" convert --from sjis --to utf-8 -o "$dir/out" 2>"$dir/log"
[ ! -s "$dir/log" ] || fail "a bar in a log"
script -qec "$slow | $kmv convert --from sjis --to utf-8 | cat" \
  /dev/null >"$dir/tty"
! grep -q 'kmv:' "$dir/tty" || fail "a bar beside a pipe"
