#!/usr/bin/env bash
# End-to-end tests of the tool's streaming paths: line ends across pieces,
# pipes, FIFOs and devices, output through temporary files, signals, and
# (group "huge") more than 4 GiB through a pipe in bounded memory.
# Usage: cli_stream_test.sh KMV SAMPLES GROUP
set -u
kmv=$1
samples=$2
group=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL [$group] $label: $*"
  failures=$((failures + 1))
}
sjis=$samples/japanese.shift_jis.txt
utf8=$samples/japanese.utf-8.txt

# Writes its arguments one by one, pausing between them, so that each
# reaches the reader as a piece of its own.
slowly() {
  local part
  for part in "$@"; do
    printf "$part"
    sleep 0.2
  done
}

test_eol() {
  local to form
  for to in sjis euc-jp iso-2022-jp utf-16be utf-16le-bom utf-8; do
    for form in lf crlf cr; do
      label="--eol $form to $to, a CR and its LF in different pieces"
      local nl=$'\n'
      [ "$form" = crlf ] && nl=$'\r\n'
      [ "$form" = cr ] && nl=$'\r'
      printf 'a%sb%sc%s\xe3\x81\x82%s' "$nl" "$nl" "$nl" "$nl" >"$work/want.txt"
      "$kmv" convert --from utf-8 --to "$to" "$work/want.txt" >"$work/want" ||
        fail "no reference"
      slowly 'a\r' '\nb\r' 'c\n\xe3\x81' '\x82\r' |
        "$kmv" convert --from utf-8 --to "$to" --eol "$form" >"$work/got" ||
        fail "exit status $?"
      cmp -s "$work/got" "$work/want" || fail "output differs"
    done
  done
  label="cat --eol crlf"
  printf 'ab\ncd\n\n' >"$work/lf.txt"
  [ "$("$kmv" cat --to utf-8 --eol crlf "$work/lf.txt" | od -An -c | tr -d ' \n')" = 'ab\r\ncd\r\n\r\n' ] ||
    fail "wrong line ends"
}

test_pipes() {
  label="cat reads a FIFO, /dev/stdin and a process substitution"
  mkfifo "$work/fifo"
  cat "$sjis" >"$work/fifo" &
  "$kmv" cat --to utf-8 "$work/fifo" >"$work/got" || fail "FIFO: exit status $?"
  wait
  cmp -s "$work/got" "$utf8" || fail "FIFO: output differs"
  "$kmv" cat --to utf-8 /dev/stdin <"$sjis" >"$work/got" || fail "/dev/stdin: exit $?"
  cmp -s "$work/got" "$utf8" || fail "/dev/stdin: output differs"
  "$kmv" cat --to utf-8 <(cat "$sjis") >"$work/got" || fail "<(...): exit $?"
  cmp -s "$work/got" "$utf8" || fail "<(...): output differs"

  label="detection of a pipe looks at the first --detect-bytes"
  { printf 'plain ascii text '; cat "$sjis"; } >"$work/late"
  [ "$(cat "$work/late" | "$kmv" detect --detect-bytes 17)" = "(standard input): ASCII" ] ||
    fail "a short look did not stop early"
  [ "$(cat "$work/late" | "$kmv" detect -)" = "(standard input): SJIS" ] ||
    fail "the default look is not the whole text"

  label="--in-place refuses a FIFO and a device; -o writes into them"
  cp "$sjis" "$work/plain"
  "$kmv" convert -i --to utf-8 "$work/fifo" 2>"$work/err" && fail "FIFO accepted"
  grep -q "not a regular file" "$work/err" || fail "message: $(cat "$work/err")"
  [ -p "$work/fifo" ] || fail "the FIFO was replaced"
  if mknod "$work/null" c 1 3 2>/dev/null; then
    "$kmv" convert -i --to utf-8 "$work/null" 2>/dev/null && fail "device accepted"
    [ -c "$work/null" ] || fail "the device was replaced"
    "$kmv" convert --from sjis --to utf-8 -o "$work/null" "$sjis" || fail "-o device"
    [ -c "$work/null" ] || fail "-o replaced the device"
  else
    echo "skipped: mknod needs root"
  fi
  cat "$work/fifo" >"$work/got" &
  "$kmv" convert --from sjis --to utf-8 -o "$work/fifo" "$sjis" || fail "-o FIFO"
  wait
  cmp -s "$work/got" "$utf8" || fail "-o FIFO: output differs"
}

test_output_file() {
  label="-o FILE keeps the old content when the conversion fails"
  printf 'old\n' >"$work/out"
  printf 'ok \xc2\xa9\n' | "$kmv" convert --strict --from utf-8 --to sjis -o "$work/out" 2>/dev/null &&
    fail "--strict passed"
  [ "$(cat "$work/out")" = old ] || fail "FILE changed"
  label="-o FILE is replaced by a new file, not rewritten"
  local inode
  inode=$(stat -c %i "$work/out")
  "$kmv" convert --from sjis --to utf-8 -o "$work/out" "$sjis" || fail "exit $?"
  cmp -s "$work/out" "$utf8" || fail "output differs"
  [ "$(stat -c %i "$work/out")" != "$inode" ] || fail "written in place"

  label="-o FILE on a full file system keeps FILE"
  mkdir "$work/small"
  if mount -t tmpfs -o size=64k tmpfs "$work/small" 2>/dev/null; then
    printf 'old\n' >"$work/small/out"
    for _ in $(seq 200); do cat "$sjis"; done |
      "$kmv" convert --from sjis --to utf-8 -o "$work/small/out" 2>"$work/err" &&
      fail "a full disk went unnoticed"
    [ "$(cat "$work/small/out")" = old ] || fail "FILE changed"
    [ "$(ls "$work/small")" = out ] || fail "left: $(ls "$work/small")"
    umount "$work/small"
  else
    echo "skipped: cannot mount a tmpfs here"
  fi
}

test_signals() {
  local sig code
  for sig in INT TERM HUP; do
    label="SIG$sig while writing -o and --in-place"
    rm -f "$work"/t.* "$work/feed"
    mkfifo "$work/feed"
    # The input stays open, so kmv is surely inside the conversion.
    { cat "$sjis"; sleep 3; } >"$work/feed" &
    local feeder=$!
    "$kmv" convert --from sjis --to utf-8 -o "$work/t.out" "$work/feed" &
    local pid=$!
    sleep 1
    ls "$work" | grep -q 't.out.kmv-' || fail "no temporary file while writing"
    kill -s "$sig" "$pid"
    wait "$pid"
    code=$?
    [ "$code" -eq $((128 + $(kill -l "$sig"))) ] || fail "exit status $code"
    ls "$work" | grep -q 'kmv-' && fail "left: $(ls "$work")"
    kill "$feeder" 2>/dev/null
    wait 2>/dev/null
  done
}

test_huge() {
  label="more than 4 GiB through a pipe, in bounded memory"
  local block=$work/block
  for _ in $(seq 1200); do cat "$sjis"; done >"$block.sjis"  # about 1 MiB
  for _ in $(seq 1200); do cat "$utf8"; done >"$block.utf8"
  local n=$((4 * 1024 * 1024 * 1024 / $(stat -c %s "$block.sjis") + 16))
  local want got
  want=$(for _ in $(seq "$n"); do cat "$block.utf8"; done | md5sum)
  got=$( (for _ in $(seq "$n"); do cat "$block.sjis"; done |
    /usr/bin/time -f '%M' -o "$work/rss" "$kmv" convert --from sjis --to utf-8) | md5sum)
  [ "$got" = "$want" ] || fail "checksum $got, wanted $want"
  [ "$(cat "$work/rss")" -lt 65536 ] || fail "peak memory $(cat "$work/rss") KiB"
  [ "$((n * $(stat -c %s "$block.utf8")))" -gt $((4 << 30)) ] || fail "too small"
}

"test_$group"
exit $((failures > 0))
