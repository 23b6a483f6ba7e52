#!/usr/bin/python3
"""kmv's Python package beside Python's own tools, in one run.

    bench/python_bench.py [--suites DIR] [--inputs DIR] [--repeat N]

Detection: files per second and how often each detector names the right
encoding, for kmv.detect (right only when it names one encoding), kmv.guess,
charset_normalizer and chardet, on the real pages of the peer suites (DIR
with MANIFEST.tsv; skipped when absent) and on the manual-page texts of
bench/make_inputs.py (made in a temporary folder unless --inputs names
one). Conversion: MB/s of kmv.decode against bytes.decode, and of
kmv.convert to UTF-8 against bytes.decode(...).encode("utf-8"), with
Python's cp932, euc_jp, iso2022_jp and utf-16 codecs, best of N runs.
Prints Markdown tables.
"""
import argparse
import codecs
import os
import pathlib
import subprocess
import sys
import tempfile
import time

import kmv

HERE = pathlib.Path(__file__).resolve().parent
# manual-page file suffix -> (kmv name, Python codec)
INPUTS = {"sjis": ("sjis", "cp932"), "eucjp": ("euc-jp", "euc_jp"),
          "jis": ("iso-2022-jp", "iso2022_jp"),
          "utf16le": ("utf-16le", "utf-16"), "utf8": ("utf-8", "utf-8")}
FAMILIES = {"cp932": "SJIS", "shift_jis": "SJIS", "shift_jis_2004": "SJIS",
            "shift_jisx0213": "SJIS", "euc_jp": "EUC", "euc_jis_2004": "EUC",
            "euc_jisx0213": "EUC", "iso2022_jp": "JIS", "ascii": "ASCII",
            "utf-16-be": "UTF16BE", "utf-16-le": "UTF16LE", "utf-16": "UTF16",
            "utf-8": "UTF8", "utf-8-sig": "UTF8"}


KMV_FAMILIES = {"ASCII", "JIS", "SJIS", "EUC", "UTF8", "UTF16BE", "UTF16LE"}


def family(name):
    """An encoding name of kmv or of Python, as a family: EUC for every
    EUC-JP variant, UTF8 with or without a mark, ..."""
    if name is None:
        return None
    base = name.upper().split("(")[0].replace("_BOM", "")
    base = "EUC" if base in ("EUC1", "EUC2", "EUC3") else base
    if base in KMV_FAMILIES:
        return base
    try:
        return FAMILIES.get(codecs.lookup(name).name)
    except LookupError:
        return None


def right(answer, truth):
    got, want = family(answer), family(truth)
    return got == want or (got == "UTF16" and want.startswith("UTF16")) or \
        (want == "ASCII" and got in ("UTF8", "SJIS"))


def detectors():
    import chardet
    import charset_normalizer

    def normalizer(data):
        best = charset_normalizer.from_bytes(data).best()
        return best.encoding if best else None

    def by_detect(data):
        found = kmv.detect(data)
        return found.encoding.name if found.decided else None

    return {"kmv.detect": by_detect,
            "kmv.guess": lambda d: getattr(kmv.guess(d).encoding, "name",
                                           None),
            "charset_normalizer": normalizer,
            "chardet": lambda d: chardet.detect(d)["encoding"]}


def detection_table(title, files):
    rows = []
    for name, detect in detectors().items():
        start = time.perf_counter()
        hits = sum(right(detect(data), truth) for data, truth in files)
        rows.append((name, len(files) / (time.perf_counter() - start), hits))
    print(f"\n### Detection: {title} ({len(files)} files)\n")
    print("| detector | files/s | right | kmv.detect faster by |")
    print("|---|---|---|---|")
    for name, speed, hits in rows:
        print(f"| {name} | {speed:,.1f} | {hits}/{len(files)} "
              f"({100 * hits / len(files):.1f}%) | {rows[0][1] / speed:,.1f}x |")


def suite_files(suites):
    rows = (suites / "MANIFEST.tsv").read_text(encoding="utf-8").splitlines()
    files = []
    for row in rows[1:]:
        path, truth = row.split("\t")[:2]
        files.append(((suites / path).read_bytes(), truth))
    return files


def best_rate(call, size, repeat):
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        call()
        times.append(time.perf_counter() - start)
    return size / min(times) / 1e6


def conversion_table(inputs, repeat):
    print("\n### Conversion to Unicode, MB/s of input (manual-page texts)\n")
    print("| text | kmv.decode | bytes.decode | ratio | kmv.convert to "
          "UTF-8 | decode().encode('utf-8') | ratio |")
    print("|---|---|---|---|---|---|---|")
    for path in sorted(inputs.glob("*.*")):
        kind, suffix = path.stem, path.suffix[1:]
        if suffix not in INPUTS or suffix == "utf8":
            continue
        name, codec = INPUTS[suffix]
        data = path.read_bytes()
        if codec == "utf-16":
            data = b"\xff\xfe" + data  # Python's utf-16 wants the mark
            name = "utf-16"
        ours = best_rate(lambda: kmv.decode(data, name), len(data), repeat)
        theirs = best_rate(lambda: data.decode(codec), len(data), repeat)
        ours8 = best_rate(lambda: kmv.convert(data, "utf-8", name),
                          len(data), repeat)
        theirs8 = best_rate(lambda: data.decode(codec).encode("utf-8"),
                            len(data), repeat)
        print(f"| {kind} {codec} | {ours:,.0f} | {theirs:,.0f} | "
              f"{ours / theirs:.1f} | {ours8:,.0f} | {theirs8:,.0f} | "
              f"{ours8 / theirs8:.1f} |")


def manual_inputs(given):
    if given:
        return pathlib.Path(given)
    made = pathlib.Path(tempfile.mkdtemp(prefix="kmv-bench-"))
    subprocess.run([sys.executable, str(HERE / "make_inputs.py"), str(made),
                    "--size", str(1 << 20)], check=True)
    return made


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--suites", default=str(HERE.parent.parent.parent /
                                                "shared/jp-peer-suites"))
    parser.add_argument("--inputs")
    parser.add_argument("--repeat", type=int, default=7)
    args = parser.parse_args()
    suites = pathlib.Path(args.suites)
    if (suites / "MANIFEST.tsv").is_file():
        detection_table("peer suites", suite_files(suites))
    else:
        print(f"(no peer suites at {suites}: skipped)", file=sys.stderr)
    inputs = manual_inputs(args.inputs)
    manual = [(p.read_bytes(), INPUTS[p.suffix[1:]][0])
              for p in sorted(inputs.glob("*.*")) if p.suffix[1:] in INPUTS]
    detection_table("manual-page texts", manual)
    conversion_table(inputs, args.repeat)
    print(f"\n(Python {sys.version.split()[0]}, {os.cpu_count()} cores)")


if __name__ == "__main__":
    main()
