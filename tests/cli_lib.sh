# What the end-to-end scripts of the kmv tool share: running the built
# program, checking its output, messages and exit status, the sample texts,
# small texts made here, and the table of runs in data/cli/runs.txt.
# A script sources this, defines test_GROUP functions and ends with run_group.
#
#   SCRIPT KMV [SAMPLES_DIR [GROUP]]
#
# Expected texts are the sample files, which Python's codecs wrote, and
# bytes written out by hand from the published mappings.
set -uo pipefail
export LC_ALL=C
kmv=$1 samples=${2:-} group=${3:-all}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d)
trap 'chmod -R u+rwx "$work" 2>/dev/null; rm -rf "$work"' EXIT
exec </dev/null # no run waits for a terminal
out=$work/stdout err=$work/stderr label="" checks=0 failures=0

sjis=$samples/japanese.shift_jis.txt euc=$samples/japanese.euc-jp.txt
jis=$samples/japanese.iso-2022-jp.txt utf8=$samples/japanese.utf-8.txt
utf8bom=$samples/japanese.utf-8-bom.txt utf16be=$samples/japanese.utf-16be.txt
utf16le_bom=$samples/japanese.utf-16le-bom.txt

fail() { echo "FAIL [$group] $label: $*" >&2 && failures=$((failures + 1)); }
# check WHAT COMMAND...: one check, failed with WHAT unless COMMAND succeeds.
check() { checks=$((checks + 1)) && "${@:2}" || fail "$1"; }
not() { ! "$@"; }
same() { check "$1 differs from $2" cmp -s "$1" "$2"; }
no_temps() { check "temporary files left: $(ls "$1")" not grep -q kmv- <(ls "$1"); }
# run ARGS...: runs the tool, as the user $as names when it is set.
run() { ${as:-} "$kmv" "$@" >"$out" 2>"$err" && status=0 || status=$?; }
stderr_text() { head -c 400 "$err" | tr '\n' '|'; }
# is STATUS [STDOUT]: the exit status and standard output of the last run;
# STDOUT is the text, @FILE the bytes of FILE, "" for nothing, '*' for any.
is() {
  check "exit status $status, wanted $1 (stderr: $(stderr_text))" [ "$status" -eq "$1" ]
  case ${2-*} in
    '*') ;;
    '') check "standard output not empty: $(head -c 200 "$out")" [ ! -s "$out" ] ;;
    @*) check "standard output differs from ${2#@} ($(wc -c <"$out") bytes)" cmp -s "$out" "${2#@}" ;;
    *) check "standard output: '$(head -c 400 "$out")', wanted '$2'" [ "$(cat "$out")" == "$(printf %s "$2")" ] ;;
  esac
}
# expect STATUS STDOUT ARGS...: runs the tool and checks as is does.
expect() { run "${@:3}" && is "$1" "$2"; }
# has TEXT...: each TEXT appears on standard error.
has() { local t; for t; do check "standard error lacks '$t': $(stderr_text)" grep -qF -- "$t" "$err"; done; }
stderr_lines() { check "$(wc -l <"$err") lines on standard error, wanted $1: $(stderr_text)" [ "$(wc -l <"$err")" -eq "$1" ]; }

# A field of a row, expanded: $work, $sjis, ... and $(...) as in the
# script, then \n, \r and \xHH as printf %b reads them.
expand() { printf %b "$(eval "cat <<ROW"$'\n'"$1"$'\n'ROW)"; }
# table GROUP: runs the rows of data/cli/runs.txt for GROUP, each checked as
# "is" checks; each line of the message column appears on standard error,
# which holds that many lines ("-": none; nothing: not checked).
table() {
  local row code want text args rows=0
  while IFS='|' read -r -u 3 row code want text args; do
    [ "$row" = "$1" ] || continue
    rows=$((rows + 1)) label="$1: $args"
    eval "run $args"
    is "$code" "$(expand "$want")"
    [ "$text" = - ] && stderr_lines 0
    [ -n "$text" ] && [ "$text" != - ] || continue
    text=$(expand "$text")
    while IFS= read -r row; do has "$row"; done <<<"$text"
    stderr_lines "$(wc -l <<<"$text")"
  done 3<"$here/data/cli/runs.txt"
  [ "$rows" -gt 0 ] || fail "no rows for $1"
}

# Runs the tool as an unprivileged user when we are root (root reads and
# writes everything); fails when that is not possible.
as_unprivileged() {
  [ "$(id -u)" -ne 0 ] && run "$@" && return
  command -v setpriv >/dev/null && chmod 755 "$work" || return
  local as="setpriv --reuid=65534 --regid=65534 --clear-groups"
  $as "$kmv" --version >/dev/null 2>&1 && run "$@"
}

while IFS='|' read -r name bytes; do
  [[ -z $name || $name == \#* ]] || printf %b "$bytes" >"$work/$name"
done <"$here/data/cli/texts.txt"
head -c 2000 /bin/sh >"$work/binary"

run_group() { "test_$group"; echo "$group: $((checks - failures)) passed, $failures failed"; ((failures == 0)); }
