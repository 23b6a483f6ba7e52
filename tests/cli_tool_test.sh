#!/usr/bin/env bash
# End-to-end tests of what the kmv tool does around conversion: in-place
# replacement that keeps the file's metadata, the directory walk, how names
# are shown, encoding names, and many files on many threads. Where nkf or
# glibc iconv do the same job, their result is the expectation.
#
#   cli_tool_test.sh KMV SAMPLES_DIR GROUP
# shellcheck source=cli_lib.sh
source "$(dirname "$0")/cli_lib.sh"

# as_nobody ARGS...: runs the tool as user nobody, or fails (skipped).
as_nobody() { [ "$(id -u)" -eq 0 ] && as_unprivileged "$@"; }
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
  check "time not kept" [ "$(mtime "$work/k.txt")" = "$(mtime "$work/n.txt")" ]
  expect 0 "" convert -i --backup --to sjis "$work/k.txt"
  same "$work/k.txt~" "$work/n.txt"
  check "time kept unasked" [ "$(mtime "$work/k.txt")" != "$(mtime "$work/n.txt")" ]

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
  check "now $(metadata "$work/o.txt"), was $before" [ "$(metadata "$work/o.txt")" = "$before" ]

  label="another user's file is refused unless --force"
  mkdir "$work/shared" && chown 65534 "$work/shared"
  cp "$sjis" "$work/shared/root.txt" && chmod 666 "$work/shared/root.txt"
  as_nobody convert -i --to utf-8 "$work/shared/root.txt" || { skip "cannot run as nobody" && return; }
  is 1
  has "belongs to user 0" "--force"
  same "$work/shared/root.txt" "$sjis"
  as_nobody convert -i --force --to utf-8 "$work/shared/root.txt"
  is 0
  same "$work/shared/root.txt" "$utf8"
  check "forced file not ours" [ "$(stat -c %u "$work/shared/root.txt")" = 65534 ]
}

test_walk() {
  label="-r reports what it cannot read, one line each, and goes on"
  local t=$work/tree
  mkdir -p "$t/open" "$t/locked" "$work/elsewhere"
  cp "$sjis" "$t/open/a.txt" && cp "$euc" "$t/locked/b.txt" && cp "$utf8" "$work/elsewhere/c.txt"
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
  expect 0 '*' detect -r "$t" "$work/elsewhere"
  check "a link into another named tree not read" grep -q "^$t/outside: UTF8" "$out"
}

test_names() {
  label="names with control bytes and invalid UTF-8 are escaped as ls -b does"
  local name shown
  name=$(printf 'x\033]0;t\a\\\xff\xe6\x97\xa5\ny')
  shown='x\033]0;t\a\\\377日\ny'
  cp "$sjis" "$work/$name"
  expect 0 "$work/$shown: SJIS" detect "$work/$name"
  check "ls -b writes otherwise" [ "$(cd "$work" && LC_ALL=C.UTF-8 ls -b -- "$name")" = "$shown" ]
  run convert --from sjis --to utf-8 -o "$work/$name/no" "$utf8"
  has "$work/$shown/no:"
  check "an escape character reached standard error" not grep -q $'\033' "$err"

  label="--json: valid UTF-8, the exact name in path_bytes, agreeing with text"
  expect 0 '*' detect --json "$work/$name" "$work/binary" "$work/empty"
  check "JSON output wrong" /usr/bin/python3 - "$out" "$work/$name" "$work/binary" <<'PY'
import json, os, sys
lines = open(sys.argv[1], 'rb').read().decode('utf-8').splitlines()
named, binary, empty = (json.loads(line) for line in lines)
assert bytes.fromhex(named['path_bytes']) == os.fsencode(sys.argv[2]), named
assert '\ufffd' in named['path'] and named['encoding'] == 'SJIS', named
assert binary['result'] == -1 and binary['names'] == [], binary
assert 'path_bytes' not in binary and binary['path'] == sys.argv[3], binary
assert empty['result'] == 0, empty
PY
}

test_encoding_names() {
  label="PHP and iconv names give what nkf and iconv give"
  local name tool
  while read -r name tool; do
    [[ $name == \#* ]] && continue
    $tool <"$utf8" >"$work/want" || fail "$tool failed"
    expect 0 "@$work/want" convert --from utf-8 --to "$name" "$utf8"
  done <"$here/data/cli/peer_names.txt"
  label="plain UTF-16 without a mark takes the byte order it shows"
  iconv -f UTF-8 -t UTF-16LE "$utf8" >"$work/le"
  table encoding_names
}

test_parallel() {
  label="-j 8 over 300 files: detect, convert, --in-place"
  local d=$work/many i texts=("$sjis" "$euc" "$jis")
  mkdir "$d"
  for i in $(seq 100 399); do cp "${texts[i % 3]}" "$d/$i.txt"; done
  run detect -r -j 1 "$d"
  cp "$out" "$work/serial"
  expect 0 "@$work/serial" detect -r -j 8 "$d"
  expect 0 '*' convert -r -j 8 --to utf-8 "$d"
  check "convert -j 8: $(wc -c <"$out") bytes" [ "$(wc -c <"$out")" -eq $((300 * $(wc -c <"$utf8"))) ]
  expect 0 "" convert -r -j 8 -i --backup --to utf-8 "$d"
  for i in 100 201 302 399; do same "$d/$i.txt" "$utf8"; done
  check "backups missing" [ "$(find "$d" -name '*~' | wc -l)" -eq 300 ]
}

test_build_without_gtest() {
  label="configuring without GoogleTest turns the tests off, unless asked for"
  local src
  src=$(cd "$samples/.." && pwd)
  check "configuring failed" cmake -S "$src" -B "$work/b1" -G Ninja -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON >"$out" 2>"$err"
  check "no message: $(tail -n 3 "$out")" grep -q "GoogleTest not found: the tests are off" "$out"
  check "tests configured" [ ! -d "$work/b1/tests" ]
  check "KMV_BUILD_TESTS=ON without GoogleTest configured" not cmake -S "$src" -B "$work/b2" -G Ninja \
    -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DKMV_BUILD_TESTS=ON >"$out" 2>"$err"
}

run_group
