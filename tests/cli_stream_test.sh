#!/usr/bin/env bash
# End-to-end tests of the tool's streaming paths: line ends across pieces,
# pipes, FIFOs and devices, output through temporary files, and (group
# "huge") more than 4 GiB through a pipe in bounded memory.
#
#   cli_stream_test.sh KMV SAMPLES_DIR GROUP
# shellcheck source=cli_lib.sh
source "$(dirname "$0")/cli_lib.sh"

# Writes its arguments one by one, pausing between them, so that each
# reaches the reader as a piece of its own.
slowly() { for part; do printf "$part" && sleep 0.2; done; }

test_eol() {
  local to form nl
  for to in sjis euc-jp iso-2022-jp utf-16be utf-16le-bom utf-8; do
    for form in lf crlf cr; do
      label="--eol $form to $to, a CR and its LF in different pieces"
      nl=${form/crlf/\\r\\n} && nl=${nl/lf/\\n} && nl=${nl/cr/\\r}
      printf "a${nl}b${nl}c${nl}\xe3\x81\x82${nl}" >"$work/want.txt"
      "$kmv" convert --from utf-8 --to "$to" "$work/want.txt" >"$work/want"
      expect 0 "@$work/want" convert --from utf-8 --to "$to" --eol "$form" \
        < <(slowly 'a\r' '\nb\r' 'c\n\xe3\x81' '\x82\r')
    done
  done
  label="cat --eol crlf"
  expect 0 "@$work/crlf.txt" cat --to utf-8 --eol crlf "$work/lf.txt"
}

test_pipes() {
  label="cat reads a FIFO, /dev/stdin and a process substitution"
  mkfifo "$work/fifo"
  cat "$sjis" >"$work/fifo" &
  expect 0 "@$utf8" cat --to utf-8 "$work/fifo"
  wait
  label="detection of a pipe looks at the first --detect-bytes, by default all"
  { printf 'plain ascii text ' && cat "$sjis"; } >"$work/late"
  table pipes
  label="--in-place refuses a FIFO and a device; -o writes into them"
  check "the FIFO was replaced" [ -p "$work/fifo" ]
  if mknod "$work/null" c 1 3 2>/dev/null; then
    expect 1 '' convert -i --to utf-8 "$work/null"
    check "the device was replaced" [ -c "$work/null" ]
    expect 0 '' convert --from sjis --to utf-8 -o "$work/null" "$sjis"
    check "-o replaced the device" [ -c "$work/null" ]
  else
    echo "skipped: mknod needs root"
  fi
  cat "$work/fifo" >"$work/got" &
  expect 0 '' convert --from sjis --to utf-8 -o "$work/fifo" "$sjis"
  wait
  same "$work/got" "$utf8"
}

test_output_file() {
  label="-o FILE keeps the old content when the conversion fails"
  printf 'old\n' >"$work/out"
  expect 1 '' convert --strict --from utf-8 --to sjis -o "$work/out" < <(printf 'ok \xc2\xa9\n')
  check "FILE changed" [ "$(cat "$work/out")" = old ]
  label="-o FILE is replaced by a new file, not rewritten"
  local inode
  inode=$(stat -c %i "$work/out")
  expect 0 '' convert --from sjis --to utf-8 -o "$work/out" "$sjis"
  same "$work/out" "$utf8"
  check "written in place" [ "$(stat -c %i "$work/out")" != "$inode" ]

  label="-o FILE on a full file system keeps FILE"
  mkdir "$work/small"
  mount -t tmpfs -o size=64k tmpfs "$work/small" 2>/dev/null || { echo "skipped: cannot mount a tmpfs here" && return; }
  printf 'old\n' >"$work/small/out"
  expect 1 '' convert --from sjis --to utf-8 -o "$work/small/out" < <(for _ in $(seq 200); do cat "$sjis"; done)
  check "FILE changed" [ "$(cat "$work/small/out")" = old ]
  check "left: $(ls "$work/small")" [ "$(ls "$work/small")" = out ]
  umount "$work/small"
}

test_huge() {
  label="more than 4 GiB through a pipe, in bounded memory"
  local block=$work/block
  for _ in $(seq 1200); do cat "$sjis"; done >"$block.sjis" # about 1 MiB
  for _ in $(seq 1200); do cat "$utf8"; done >"$block.utf8"
  local n=$((4 * 1024 * 1024 * 1024 / $(stat -c %s "$block.sjis") + 16))
  local want got
  want=$(for _ in $(seq "$n"); do cat "$block.utf8"; done | md5sum)
  got=$( (for _ in $(seq "$n"); do cat "$block.sjis"; done |
    /usr/bin/time -f '%M' -o "$work/rss" "$kmv" convert --from sjis --to utf-8) | md5sum)
  check "checksum $got, wanted $want" [ "$got" = "$want" ]
  check "peak memory $(cat "$work/rss") KiB" [ "$(cat "$work/rss")" -lt 65536 ]
  check "too small" [ "$((n * $(stat -c %s "$block.utf8")))" -gt $((4 << 30)) ]
}

run_group
