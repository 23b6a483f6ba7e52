#!/usr/bin/env bash
# End-to-end tests of what the kmv tool does around conversion: in-place
# replacement that keeps the file's metadata, the directory walk, how names
# are shown, encoding names, and many files on many threads. Where nkf or
# glibc iconv do the same job, their result is the expectation.
#
#   cli_tool_test.sh KMV SAMPLES_DIR GROUP
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
group=$3
# The helpers and the sample files of the tool's main tests.
test_shared_helpers() { :; }
# shellcheck source=cli_test.sh
source "$here/cli_test.sh" "$1" "$2" shared_helpers >/dev/null
group=$3

# as_nobody ARGS...: runs the tool as user nobody, or returns 99 (skipped).
as_nobody() {
  [ "$(id -u)" -eq 0 ] || return 99
  chmod 755 "$work"
  as_unprivileged "$@"
  status=$?
}
skip() { echo "skipped [$group] $*"; }
mtime() { stat -c %Y "$1"; }
metadata() { stat -c %u:%g:%a "$1" && getfattr -d -m - "$1" 2>/dev/null | tail -n +2; }

test_in_place_keep() {
  label="--keep-time and --backup, as nkf --overwrite=SUFFIX does"
  cp "$sjis" "$work/k.txt" && cp "$sjis" "$work/n.txt"
  touch -d '2001-02-03 04:05:06' "$work/k.txt" "$work/n.txt"
  nkf -w --overwrite=.orig "$work/n.txt"
  expect 0 "" convert -i --keep-time --backup=.orig --to utf-8 "$work/k.txt"
  same "$work/k.txt" "$work/n.txt"
  same "$work/k.txt.orig" "$sjis"
  [ "$(mtime "$work/k.txt")" = "$(mtime "$work/n.txt")" ] || fail "time not kept"
  expect 0 "" convert -i --backup --to sjis "$work/k.txt"
  same "$work/k.txt~" "$work/n.txt"
  [ "$(mtime "$work/k.txt")" != "$(mtime "$work/n.txt")" ] || fail "time kept unasked"

  label="owner, group, mode, extended attributes, ACLs kept; other links keep the old text"
  cp "$sjis" "$work/o.txt" && ln "$work/o.txt" "$work/o-link"
  chown 65534:65534 "$work/o.txt" && chmod 640 "$work/o.txt"
  { setfattr -n user.note -v kept "$work/o.txt" && setfacl -m u:1:r "$work/o.txt"; } 2>/dev/null ||
    skip "no extended attributes or ACLs here"
  local before
  before=$(metadata "$work/o.txt")
  expect 0 "" convert -i --to utf-8 "$work/o.txt"
  same "$work/o.txt" "$utf8"
  same "$work/o-link" "$sjis"
  [ "$(metadata "$work/o.txt")" = "$before" ] || fail "now $(metadata "$work/o.txt"), was $before"

  label="another user's file is refused unless --force"
  mkdir "$work/shared" && chown 65534 "$work/shared"
  cp "$sjis" "$work/shared/root.txt" && chmod 666 "$work/shared/root.txt"
  as_nobody convert -i --to utf-8 "$work/shared/root.txt"
  if [ $? -eq 99 ]; then
    skip "cannot run as nobody"
  else
    is 1
    has "belongs to user 0" "--force"
    same "$work/shared/root.txt" "$sjis"
    as_nobody convert -i --force --to utf-8 "$work/shared/root.txt"
    is 0
    same "$work/shared/root.txt" "$utf8"
    [ "$(stat -c %u "$work/shared/root.txt")" = 65534 ] || fail "forced file not ours"
  fi
  failures_table tool_usage
}

test_walk() {
  label="-r reports what it cannot read, one line each, and goes on"
  local t=$work/tree
  mkdir -p "$t/open" "$t/locked" "$work/elsewhere"
  cp "$sjis" "$t/open/a.txt" && cp "$euc" "$t/locked/b.txt"
  cp "$utf8" "$work/elsewhere/c.txt"
  ln -s ../open/a.txt "$t/locked/inside"
  ln -s "$work/elsewhere/c.txt" "$t/outside"
  ln -s nowhere "$t/dangling"
  ln -s loop2 "$t/loop1" && ln -s loop1 "$t/loop2"
  chmod 000 "$t/locked"
  as_nobody detect -r "$t" || run detect -r "$t"
  chmod 755 "$t/locked"
  is 1 "$t/open/a.txt: SJIS"
  has "kmv: $t/locked: cannot read the directory" "kmv: $t/dangling: a dangling symbolic link" "kmv: $t/loop1: a loop" \
    "kmv: $t/loop2: a loop" "kmv: $t/outside: not read: a link to a file outside"

  label="--follow-links reads links out of the trees; links inside are read"
  expect 1 "$(printf '%s\n' "$t/locked/b.txt: EUC" "$t/locked/inside: SJIS" \
    "$t/open/a.txt: SJIS" "$t/outside: UTF8")" detect -r --follow-links "$t"
  rm "$t/dangling" "$t/loop1" "$t/loop2"
  expect 0 '*' detect -r --follow-links "$t"
  run detect -r "$t" "$work/elsewhere"
  is 0 '*'
  grep -q "^$t/outside: UTF8" "$out" || fail "a link into another named tree not read"
}

test_names() {
  label="names with control bytes and invalid UTF-8 are escaped as ls -b does"
  local name shown
  name=$(printf 'x\033]0;t\a\\\xff\xe6\x97\xa5\ny')
  shown='x\033]0;t\a\\\377日\ny'
  cp "$sjis" "$work/$name"
  expect 0 "$work/$shown: SJIS" detect "$work/$name"
  [ "$(cd "$work" && LC_ALL=C.UTF-8 ls -b -- "$name")" = "$shown" ] ||
    fail "ls -b writes $(cd "$work" && LC_ALL=C.UTF-8 ls -b -- "$name")"
  run convert --from sjis --to utf-8 -o "$work/$name/no" "$utf8"
  has "$work/$shown/no:"
  ! grep -q $'\033' "$err" || fail "an escape character reached standard error"

  label="--json: valid UTF-8, the exact name in path_bytes, agreeing with text"
  head -c 2000 /bin/sh >"$work/binary"
  run detect --json "$work/$name" "$work/binary" "$work/empty"
  is 0 '*'
  /usr/bin/python3 - "$out" "$work/$name" "$work/binary" <<'PY' || fail "JSON output wrong"
import json, os, sys
lines = open(sys.argv[1], 'rb').read().decode('utf-8').splitlines()
named, binary, empty = (json.loads(line) for line in lines)
assert bytes.fromhex(named['path_bytes']) == os.fsencode(sys.argv[2]), named
assert '\ufffd' in named['path'] and named['encoding'] == 'SJIS', named
assert binary['result'] == -1 and binary['names'] == [], binary
assert 'path_bytes' not in binary and binary['path'] == sys.argv[3], binary
assert empty['result'] == 0, empty
PY
  expect 0 "$(printf '%s\n' "$work/binary: none" "$work/empty: empty")" detect "$work/binary" "$work/empty"
  stdin=$sjis expect 0 '{"path":"(standard input)","result":4,"decided":true,"encoding":"SJIS","names":["SJIS"]}' detect --json
  stdin=$sjis expect 0 "(standard input): SJIS" detect
}

test_encoding_names() {
  label="PHP and iconv names give what nkf and iconv give"
  local name tool
  while read -r name tool; do
    run convert --from utf-8 --to "$name" "$utf8"
    $tool <"$utf8" >"$work/want" || fail "$tool failed"
    is 0 "@$work/want"
  done <<'LIST'
SJIS-win iconv -f UTF-8 -t CP932
SJIS-open iconv -f UTF-8 -t WINDOWS-31J
eucJP-win iconv -f UTF-8 -t EUC-JP-MS
CP50220 nkf --ic=UTF-8 --oc=CP50220
CP50221 nkf --ic=UTF-8 --oc=CP50221
CP50222 nkf --ic=UTF-8 --oc=CP50222
ISO-2022-JP-MS nkf --ic=UTF-8 --oc=CP50221
LIST
  label="kmv list names each closest encoding"
  expect 0 '*' list
  for name in SJIS-win SJIS-open eucJP-win CP50220 CP50222 ISO-2022-JP-MS; do
    grep -qE "^$name +as [A-Z]" "$out" || fail "list lacks $name"
  done

  label="plain UTF-16 without a mark takes the byte order it shows"
  iconv -f UTF-8 -t UTF-16LE "$utf8" >"$work/le"
  expect 0 "@$utf8" convert --from UTF-16 --to utf-8 "$work/le"
  expect 0 "@$utf8" convert --from UTF-16 --to utf-8 "$utf16be"
  expect 0 "@$utf8" convert --from utf16 --to utf-8 "$utf16le_bom"
}

test_stdout_errors() {
  label="list, --help and --version on a full standard output"
  [ -w /dev/full ] || { skip "no /dev/full"; return; }
  local args
  for args in list --help --version; do
    "$kmv" "$args" >/dev/full 2>"$err"
    status=$?
    is 1
    has "kmv: cannot write standard output"
  done
  label="--version gives one version"
  expect 0 '*' --version
  [ "$(wc -l <"$out")" -eq 1 ] && grep -qxE 'kmv [0-9]+\.[0-9]+\.[0-9]+' "$out" ||
    fail "--version: $(cat "$out")"
}

test_parallel() {
  label="-j 8 over 300 files: detect, convert, --in-place"
  local d=$work/many i
  mkdir "$d"
  for i in $(seq 100 399); do
    case $((i % 3)) in
      0) cp "$sjis" "$d/$i.txt" ;; 1) cp "$euc" "$d/$i.txt" ;; *) cp "$jis" "$d/$i.txt" ;;
    esac
  done
  run detect -r -j 1 "$d"
  cp "$out" "$work/serial"
  expect 0 "@$work/serial" detect -r -j 8 "$d"
  expect 0 '*' convert -r -j 8 --to utf-8 "$d"
  [ "$(wc -c <"$out")" -eq $((300 * $(wc -c <"$utf8"))) ] || fail "convert -j 8: $(wc -c <"$out") bytes"
  expect 0 "" convert -r -j 8 -i --backup --to utf-8 "$d"
  for i in 100 201 302 399; do same "$d/$i.txt" "$utf8"; done
  [ "$(find "$d" -name '*~' | wc -l)" -eq 300 ] || fail "backups missing"
}

test_build_without_gtest() {
  label="configuring without GoogleTest turns the tests off, unless asked for"
  local src
  src=$(cd "$samples/.." && pwd)
  cmake -S "$src" -B "$work/b1" -G Ninja -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON >"$out" 2>"$err"
  status=$?
  is 0
  grep -q "GoogleTest not found: the tests are off" "$out" || fail "no message: $(tail -n 3 "$out")"
  [ ! -d "$work/b1/tests" ] || fail "tests configured"
  cmake -S "$src" -B "$work/b2" -G Ninja -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON \
    -DKMV_BUILD_TESTS=ON >"$out" 2>"$err"
  status=$?
  is 1
}

"test_$group"
echo "$group: $((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
