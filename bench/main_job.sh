#!/usr/bin/env bash
# The main job end to end: `kmv convert` beside iconv and nkf, and
# `kmv detect` beside `nkf --guess`, on about 200 MB of real Japanese text
# (the "doc" input of make_inputs.py, made at a tenth of the size and
# repeated ten times), to a file and through a pipe. Prints
# wall time and peak RSS of each run, and kmv's speed-up over iconv.
# kmv and iconv run KMV_MAIN_JOB_RUNS times each (default 3), in turn, and
# the median wall time counts; nkf, far slower, runs once. Dirty pages are
# synced before each run, so that no run pays for the previous one's writes.
#
#   bench/main_job.sh [KMV] [SIZE_BYTES]
set -euo pipefail
cd "$(dirname "$0")/.."
kmv=${1:-build/tools/kmv}
size=${2:-200000000}
runs=${KMV_MAIN_JOB_RUNS:-3}
inputs=${KMV_MAIN_JOB_INPUTS:-build/main_job}
mkdir -p "$inputs"
if [ ! -f "$inputs/doc.utf8" ]; then
  /usr/bin/python3 bench/make_inputs.py "$inputs/part" --size $((size / 10)) >/dev/null
  for f in "$inputs"/part/doc.*; do
    for _ in $(seq 10); do cat "$f"; done >"$inputs/${f##*/}"
  done
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# Runs a command line (with $IN and $OUT set) and prints "seconds KiB".
measure() {
  local line=$1
  sync
  IN=$2 OUT=$out/o /usr/bin/time -f '%e %M' -o "$out/time" bash -c "$line" >/dev/null
  cat "$out/time"
}

# The median time of "seconds KiB" lines, with the largest RSS.
median() {
  sort -n <<<"$1" | awk 'NF { t[n++] = $1; if ($2 > m) m = $2 }
    END { print t[int((n - 1) / 2)], m }'
}

row() {
  local name=$1 in=$2 kmv_line=$3 iconv_line=$4 nkf_line=$5
  local k i n ks="" is=""
  for _ in $(seq "$runs"); do
    ks+="$(measure "$kmv_line" "$in")"$'\n'
    is+="$(measure "$iconv_line" "$in")"$'\n'
  done
  k=$(median "$ks")
  i=$(median "$is")
  n=$(measure "$nkf_line" "$in")
  awk -v name="$name" -v k="$k" -v i="$i" -v n="$n" 'BEGIN {
    split(k, a, " "); split(i, b, " "); split(n, c, " ");
    printf "%-28s kmv %6.2fs %7d KiB | iconv %6.2fs %7d KiB | nkf %6.2fs %7d KiB | iconv/kmv %5.2fx\n",
      name, a[1], a[2], b[1], b[2], c[1], c[2], (a[1] > 0 ? b[1] / a[1] : 0) }'
}

# name, input, kmv --from/--to, iconv -f/-t, nkf flags
jobs=(
  "sjis-to-utf8|doc.sjis|sjis utf-8|CP932 UTF-8|-S -w"
  "utf8-to-sjis|doc.utf8|utf-8 sjis|UTF-8 CP932|-W -s"
  "eucjp-to-utf8|doc.eucjp|euc-jp utf-8|EUC-JP UTF-8|-E -w"
  "utf8-to-jis|doc.utf8|utf-8 iso-2022-jp|UTF-8 ISO-2022-JP|-W -j"
  "utf16le-to-utf8|doc.utf16le|utf-16le utf-8|UTF-16LE UTF-8|--ic=UTF-16LE -w"
)
echo "input: $(stat -c %s "$inputs/doc.utf8") bytes of UTF-8 text; load: $(cut -d' ' -f1-3 /proc/loadavg)"
for job in "${jobs[@]}"; do
  IFS='|' read -r name file pair ipair nflags <<<"$job"
  set -- $pair
  kfrom=$1 kto=$2
  set -- $ipair
  ifrom=$1 ito=$2
  in=$inputs/$file
  row "$name to a file" "$in" \
    "$kmv convert --from $kfrom --to $kto -o \$OUT \$IN" \
    "iconv -f $ifrom -t $ito \$IN > \$OUT" \
    "nkf $nflags \$IN > \$OUT"
  row "$name through a pipe" "$in" \
    "cat \$IN | $kmv convert --from $kfrom --to $kto | cat > /dev/null" \
    "cat \$IN | iconv -f $ifrom -t $ito | cat > /dev/null" \
    "cat \$IN | nkf $nflags | cat > /dev/null"
done
for file in doc.sjis doc.utf8 doc.eucjp doc.utf16le; do
  ks=""
  for _ in $(seq "$runs"); do ks+="$(measure "$kmv detect \$IN" "$inputs/$file")"$'\n'; done
  k=$(median "$ks")
  n=$(measure "nkf --guess \$IN" "$inputs/$file")
  awk -v f="$file" -v k="$k" -v n="$n" -v s="$(stat -c %s "$inputs/$file")" 'BEGIN {
    split(k, a, " "); split(n, c, " ");
    printf "detect %-21s kmv %6.2fs %7d KiB (%.2f GB/s) | nkf --guess %6.2fs %7d KiB\n",
      f, a[1], a[2], (a[1] > 0 ? s / a[1] / 1e9 : 0), c[1], c[2] }'
done
