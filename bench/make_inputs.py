#!/usr/bin/env python3
"""Builds the benchmark inputs from Debian's manpages-ja (and the English
manual pages beside it), so that no megabytes need to be committed.

    bench/make_inputs.py OUTDIR [--size BYTES]

Three kinds of text, each about --size bytes of UTF-8:
  doc    Japanese manual pages as they stand (roff markup), with English
         markup lines woven in until about a third of the bytes are non-ASCII
  prose  the Japanese sentences of those pages without markup or ASCII
  tech   English manual pages with an occasional Japanese line

Each is written as <kind>.utf8 and re-encoded as <kind>.sjis, .eucjp, .jis,
.utf16le and .utf16be (no byte-order marks). Only characters that all of the
encodings can hold are kept, so every file holds the same text.
"""
import argparse
import glob
import gzip
import os
import re
import sys

ENCODINGS = {
    "utf8": "utf-8",
    "sjis": "cp932",
    "eucjp": "euc_jp",
    "jis": "iso2022_jp",
    "utf16le": "utf-16-le",
    "utf16be": "utf-16-be",
}


def read_pages(pattern):
    for path in sorted(glob.glob(pattern)):
        try:
            with gzip.open(path, "rb") as f:
                data = f.read()
        except OSError:
            continue
        yield data.decode("utf-8", errors="ignore")


def representable(ch, cache={}):
    """True when every target encoding holds the character."""
    hit = cache.get(ch)
    if hit is None:
        hit = ch == "\n" or ch == "\t" or (" " <= ch and ch != "\x7f")
        if hit and ord(ch) >= 0x80:
            try:
                for codec in ("cp932", "euc_jp", "iso2022_jp"):
                    ch.encode(codec)
            except UnicodeEncodeError:
                hit = False
            # Characters whose code page 932 and JIS X 0208 readings differ
            # would make the texts disagree between encodings.
            if ch in "\u301c\uff5e\u2225\u2016\u2212\uff0d\u00a2\u00a3\u00ac\uffe0\uffe1\uffe2\u2015\u2014":
                hit = False
        cache[ch] = hit
    return hit


def clean(text):
    return "".join(ch for ch in text if representable(ch))


def fill(lines, size):
    """Repeats the lines until the text reaches size bytes of UTF-8."""
    out, total = [], 0
    if not lines:
        sys.exit("no input text found (is manpages-ja installed?)")
    while total < size:
        for line in lines:
            out.append(line)
            total += len(line.encode("utf-8")) + 1
            if total >= size:
                break
    return "\n".join(out) + "\n"


def japanese_lines(pages):
    for page in pages:
        for line in clean(page).splitlines():
            yield line


def english_lines(size):
    lines = []
    for page in read_pages("/usr/share/man/man[1-8]/*.gz"):
        lines.extend(clean(page).splitlines())
        if sum(len(l) + 1 for l in lines) > size:
            break
    return lines


def make_doc(size, japanese, english):
    """Weaves English lines between the Japanese ones until about a third of
    the UTF-8 bytes are non-ASCII."""
    if not english:
        return fill(japanese, size)
    jp_bytes = sum(len(l.encode("utf-8")) + 1 for l in japanese)
    high = sum(sum(1 for b in l.encode("utf-8") if b >= 0x80) for l in japanese)
    # english bytes needed per japanese byte so that high / total = 1/3
    per_line = max(0.0, (3 * high - jp_bytes) / max(1, len(japanese)))
    out, budget, e = [], 0.0, 0
    for line in japanese:
        out.append(line)
        budget += per_line
        while budget > 0:
            extra = english[e % len(english)]
            e += 1
            out.append(extra)
            budget -= len(extra) + 1
    return fill(out, size)


NON_ASCII_RUN = re.compile(r"[^\x00-\x7f]+")


def make_prose(size):
    lines = []
    for line in japanese_lines(read_pages("/usr/share/man/ja/man*/*.gz")):
        if line.startswith((".", "'")):
            continue
        runs = NON_ASCII_RUN.findall(line)
        if runs:
            lines.append("".join(runs))
    return fill(lines, size)


def make_tech(size, japanese, english):
    if not english:  # no English pages: the markup of the Japanese ones
        english = [l for l in japanese if not NON_ASCII_RUN.search(l)]
    jp = [l for l in japanese if NON_ASCII_RUN.search(l) and not l.startswith(".")]
    mixed = []
    for i, line in enumerate(english):
        mixed.append(line)
        if jp and i % 40 == 39:
            mixed.append(jp[(i // 40) % len(jp)])
    return fill(mixed, size)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("outdir")
    parser.add_argument("--size", type=int, default=3 * 1024 * 1024)
    args = parser.parse_args()
    os.makedirs(args.outdir, exist_ok=True)
    japanese = list(japanese_lines(read_pages("/usr/share/man/ja/man*/*.gz")))
    english = english_lines(2 * args.size)
    texts = {
        "doc": make_doc(args.size, japanese, english),
        "prose": make_prose(args.size),
        "tech": make_tech(args.size, japanese, english),
    }
    for kind, text in texts.items():
        raw = text.encode("utf-8")
        share = sum(1 for b in raw if b >= 0x80) / len(raw)
        print(f"{kind}: {len(raw)} bytes of UTF-8, {share:.0%} non-ASCII")
        for suffix, codec in ENCODINGS.items():
            with open(os.path.join(args.outdir, f"{kind}.{suffix}"), "wb") as f:
                f.write(text.encode(codec))


if __name__ == "__main__":
    main()
