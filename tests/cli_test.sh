#!/usr/bin/env bash
# End-to-end tests of the kmv tool: runs the built program on temporary
# files and checks its output, messages and exit status.
#
#   cli_test.sh KMV SAMPLES_DIR GROUP
# shellcheck source=cli_lib.sh
source "$(dirname "$0")/cli_lib.sh"

tail -c +3 "$utf16le_bom" >"$work/utf16le"

test_detect() {
  label="-r walks directories in name order, regular files only"
  mkdir -p "$work/tree/b/c" "$work/tree/a"
  cp "$euc" "$work/tree/b/c/one.txt" && cp "$jis" "$work/tree/a/two.txt" && cp "$utf8" "$work/tree/z.txt"
  mkfifo "$work/tree/b/pipe"
  ln -s ../b "$work/tree/a/loop"
  expect 0 "$(printf '%s\n' "$work/tree/a/two.txt: JIS" "$work/tree/b/c/one.txt: EUC" \
    "$work/tree/z.txt: UTF8" "$sjis: SJIS")" detect --progress -r "$work/tree" "$sjis"
  has "[4/4]"
  label="-j keeps the file order"
  local i f
  mkdir -p "$work/many"
  run detect "$samples"/japanese.*.txt # as its row in the table says
  for i in $(seq -w 1 12); do
    for f in "$samples"/japanese.*.txt; do cp "$f" "$work/many/$i.${f##*/}"; done
    sed "s|^$samples/|$work/many/$i.|" "$out" >>"$work/serial"
  done
  expect 0 "@$work/serial" detect -j 4 -r "$work/many"
  expect 0 "@$work/serial" detect -j0 -r "$work/many"
  label="an unreadable file"
  cp "$sjis" "$work/secret" && chmod 000 "$work/secret"
  if as_unprivileged detect "$work/secret" "$work/tree/z.txt"; then
    is 1 "$work/tree/z.txt: UTF8"
    has "kmv: $work/secret: Permission denied"
  fi
  table detect
}

test_convert() {
  { printf '\xfe\xff' && cat "$utf16be"; } >"$work/utf16be_bom"
  table convert
  same "$work/out.txt" "$sjis"
  check "--strict created $work/strict.out" [ ! -e "$work/strict.out" ]
  label="several files and -j: output in file order"
  mkdir -p "$work/many"
  local i
  for i in $(seq -w 1 30); do
    cp "$sjis" "$work/many/$i.a.txt" && cp "$utf16le_bom" "$work/many/$i.b.txt"
    cat "$euc" "$euc" >>"$work/expected"
  done
  expect 0 "@$work/expected" convert -j 3 --to euc-jp -r "$work/many"
}

test_in_place() {
  cp "$sjis" "$work/a.txt" && chmod 640 "$work/a.txt"
  cp "$work/b.txt" "$work/b.orig"
  cp "$euc" "$work/c.txt" && ln -s c.txt "$work/link.txt"
  table in_place
  label="--in-place keeps the permission bits; through a link converts the file"
  same "$work/a.txt" "$utf8"
  check "mode became $(stat -c %a "$work/a.txt")" [ "$(stat -c %a "$work/a.txt")" = 640 ]
  same "$work/b.txt" "$work/b.orig"
  check "the link was replaced" [ -L "$work/link.txt" ]
  same "$work/c.txt" "$utf8"
  no_temps "$work"

  label="--in-place with -r and -j converts a whole tree"
  mkdir -p "$work/tree/sub"
  local f
  for f in "$samples"/japanese.*.txt; do cp "$f" "$work/tree/${f##*/}" && cp "$f" "$work/tree/sub/${f##*/}"; done
  expect 0 '*' convert -r -j 2 --in-place --to iso-2022-jp "$work/tree"
  for f in "$work"/tree/*.txt "$work"/tree/sub/*.txt; do same "$f" "$jis"; done

  label="--in-place where no file can be made beside it"
  mkdir -p "$work/locked"
  cp "$sjis" "$work/locked/d.txt" && chmod 644 "$work/locked/d.txt" && chmod 555 "$work/locked"
  if as_unprivileged convert --in-place --to utf-8 "$work/locked/d.txt"; then
    is 1
    has "cannot create a file beside it: Permission denied"
    same "$work/locked/d.txt" "$sjis"
  fi
  stop_signals
}

# A signal while -o writes: the temporary file beside the target goes, and
# the tool exits with 128 + the signal's number; SIGBUS (a mapped input that
# shrank) with status 1.
stop_signals() {
  local sig pid feeder code
  mkdir "$work/sig"
  mkfifo "$work/feed"
  for sig in INT TERM HUP BUS; do
    label="SIG$sig while writing -o"
    # The input stays open, so the tool is surely inside the conversion.
    (cat "$sjis" && exec sleep 30) >"$work/feed" &
    feeder=$!
    "$kmv" convert --from sjis --to utf-8 -o "$work/sig/t.out" "$work/feed" 2>"$err" &
    pid=$!
    for _ in $(seq 100); do [ -z "$(ls "$work/sig")" ] || break && sleep 0.05; done
    check "no temporary file while writing" grep -q 't.out.kmv-' <(ls "$work/sig")
    kill -s "$sig" "$pid"
    wait "$pid"
    code=$?
    [ "$sig" = BUS ] && check "exit status $code" [ $code -eq 1 ] && has "the file shrank while it was read"
    [ "$sig" = BUS ] || check "exit status $code" [ $code -eq $((128 + $(kill -l "$sig"))) ]
    no_temps "$work/sig"
    kill "$feeder" && wait "$feeder"
  done
}

test_large() {
  label="a file beyond the default read limit (10 MiB) is handled whole"
  # 2^14 copies of the sample: 14.6 MB of Shift_JIS.
  local f
  for f in sjis utf8; do
    cp "${!f}" "$work/big.$f"
    for _ in $(seq 14); do cat "$work/big.$f" "$work/big.$f" >"$work/big" && mv "$work/big" "$work/big.$f"; done
  done
  table large
}

test_cat() {
  cat "$utf8" "$utf8" >"$work/twice"
  table cat
}

test_usage() {
  label="no arguments, --help and --version"
  expect 2 '*'
  has "Usage:"
  expect 0 '*' --help
  stderr_lines 0
  check "--help lacks the convert line" grep -qF "kmv convert --to NAME" "$out"
  expect 0 '*' --version
  check "--version: $(cat "$out")" grep -qxE 'kmv [0-9]+\.[0-9]+\.[0-9]+' "$out"
  stderr_lines 0
  check "--version gives one version" [ "$(wc -l <"$out")" -eq 1 ]
  table usage

  label="list: every name it shows is accepted"
  local name
  expect 0 '*' list
  check "list lacks SJIS and its aliases" grep -qE '^SJIS +.*Shift_JIS.*CP932' "$out"
  check "list lacks EUC3 and eucJP-ms" grep -qE '^EUC3\(EUC-MS\) +.*eucJP-ms' "$out"
  for name in SJIS-win SJIS-open eucJP-win CP50220 CP50222 ISO-2022-JP-MS; do
    check "list lacks the closest encoding of $name" grep -qE "^$name +as [A-Z]" "$out"
  done
  for name in $(sed -e 1d -e '/^$/,$d' -e 's/^\([^ ]*\) */\1, /' "$out" | tr ',' '\n'); do
    case ${name,,} in ascii | us-ascii) continue ;; esac
    expect 0 '*' convert --from sjis --to "$name" "$work/empty"
    expect 0 '*' detect --expect "$name" "$work/empty"
  done
}

test_write_errors() {
  mkdir -p "$work/dir"
  table write_errors
  label="standard output that cannot be written"
  [ -w /dev/full ] || return 0
  for args in "convert --to utf-8 $sjis" list --help --version; do
    out=/dev/full run $args # split into words
    is 1 && has "kmv: cannot write standard output"
  done
}

test_lossless() {
  table lossless
}

test_guess() {
  table guess
  label="--guess --json gives a confidence and the runner-up"
  expect 0 '*' detect --guess --json "$work/konni"
  check "json: $(cat "$out")" grep -qxE "\{\"path\":\"$work/konni\",\"encoding\":\"UTF8\",\"confidence\":(0\.[5-9][0-9]*|1\.000),\"runner_up\":\"SJIS\",\"detected\":131328\}" "$out"
}

run_group
