#!/usr/bin/env python3
"""Measures how often kmvx_guess names a text's encoding, by encoding and
size class, beside kmv_buf's own answer (right only when it decides).

    bench/guess_accuracy.py path/to/libkmv.so [--suite DIR] [--peers]

Two sets of texts:
  suite   the files of DIR/MANIFEST.tsv (path, encoding, size, size class,
          ..., equivalent encodings), when --suite is given
  made    runs of real Japanese sentences (the Japanese manual pages of
          Debian's manpages-ja, and a few sentences of chat with emoji),
          cut to every size class and encoded with Python's codecs

An EUC-JP guess counts as right when the library's tables of the guessed
variant and of the true one read the text alike. --peers adds
charset_normalizer and chardet where they are installed.
"""
import argparse
import collections
import ctypes
import glob
import gzip
import os
import random
import re

CODECS = {  # name of the library's type: Python codec
    "SJIS": "cp932", "EUC": "euc_jp", "JIS": "iso2022_jp", "UTF8": "utf-8",
    "UTF8_BOM": "utf-8-sig", "UTF16BE": "utf-16-be", "UTF16LE": "utf-16-le",
    "UTF16LE_BOM": "utf-16",
}
SIZES = {"tiny": (2, 24), "short": (25, 400), "medium": (401, 20000),
         "long": (20001, 1 << 62)}
CHAT = [
    "今日のランチ美味しかった🍣", "了解です！また明日ね😊", "それな〜笑",
    "駅前で待ってるね", "ありがとう🙏助かりました", "え、マジで？",
    "写真送ります📷", "了解", "おつかれさま", "今から帰る",
]


class Result(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int32), ("runner_up", ctypes.c_int32),
                ("confidence", ctypes.c_float), ("detected", ctypes.c_int32)]


class Library:
    EUC_TABLES = {"EUC": ("euc2unibecommon_table00", None),
                  "EUC1(PC20932)": ("euc2unibe20932_table00", "euc2unibe20932_table8f"),
                  "EUC2(PC51932)": ("euc2unibe51932_table00", None),
                  "EUC3(EUC-MS)": ("euc2unibems_table00", "euc2unibems_table8f")}

    def __init__(self, path):
        lib = self.lib = ctypes.CDLL(path)
        lib.create_kmv.restype = ctypes.c_void_p
        lib.kmvx_guess.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_uint64,
                                   ctypes.c_int32, ctypes.POINTER(Result)]
        lib.kmv_typeto_name.argtypes = [ctypes.c_char_p, ctypes.c_int32]
        lib.kmv_eucto_utf8.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_void_p),
                                       ctypes.POINTER(ctypes.c_uint64),
                                       ctypes.POINTER(ctypes.c_void_p), ctypes.c_char_p,
                                       ctypes.c_uint64, ctypes.c_int]
        self.libc = ctypes.CDLL(None)
        self.handle = lib.create_kmv()

    def name(self, code):
        if code < 0:
            return "none"
        text = ctypes.create_string_buffer(64)
        self.lib.kmv_typeto_name(text, code)
        return text.value.decode()

    def guess(self, data):
        r = Result()
        self.lib.kmvx_guess(self.handle, data, len(data), 0, ctypes.byref(r))
        return r

    def read_euc(self, data, variant):
        """The text as UTF-8, read by the tables of an EUC-JP variant."""
        t00, t8f = self.EUC_TABLES[variant]
        slots = (ctypes.c_void_p * 9).from_address(self.handle)
        sizes = (ctypes.c_uint64 * 9).from_address(self.handle + 72)
        for slot, table in ((2, t00), (3, t8f)):
            slots[slot] = ctypes.addressof(ctypes.c_uint16.in_dll(self.lib, table)) if table else None
            sizes[slot] = ctypes.c_uint64.in_dll(self.lib, table + "_size").value if table else 0
        out, out_len, err = ctypes.c_void_p(), ctypes.c_uint64(), ctypes.c_void_p()
        self.lib.kmv_eucto_utf8(self.handle, ctypes.byref(out), ctypes.byref(out_len),
                                ctypes.byref(err), data, len(data), 0)
        text = ctypes.string_at(out, out_len.value) if out else b""
        self.libc.free(out)
        return text


def size_class(n):
    return next(k for k, (lo, hi) in SIZES.items() if n <= hi)


def manual_lines():
    """Lines of Japanese prose from the Japanese manual pages."""
    lines = []
    for path in sorted(glob.glob("/usr/share/man/ja/man*/*.gz")):
        with gzip.open(path, "rb") as f:
            text = f.read().decode("utf-8", errors="ignore")
        for line in text.splitlines():
            if line.startswith((".", "'")) or not re.search("[\u3040-\u30ff\u4e00-\u9fff]", line):
                continue
            lines.append(re.sub(r"\\f[BIRP]|\\-|\\&", "", line).strip())
    return lines


def made_texts(count, seed):
    """Texts of every size class, in every encoding that holds them."""
    rng = random.Random(seed)
    lines = manual_lines() or CHAT
    for n in range(count):
        cls = list(SIZES)[n % len(SIZES)]
        lo, hi = SIZES[cls]
        source = CHAT if n % 7 == 0 else lines
        start = rng.randrange(len(source))
        text = ""
        for line in source[start:] + source[:start]:
            text += line + "\n"
            if len(text.encode("utf-8")) >= min(hi, 60000):
                break
        chars = rng.randint(1, max(1, hi // 3))
        text = text[:chars] if cls != "long" else text
        for name, codec in CODECS.items():
            try:
                data = text.encode(codec)
            except UnicodeEncodeError:
                continue
            if not data or (text.isascii() and "16" not in name):
                continue  # plain ASCII is any of these encodings
            if lo <= len(data) <= hi or cls == "long":
                yield name, size_class(len(data)), data, ()


def suite_texts(root):
    with open(os.path.join(root, "MANIFEST.tsv"), encoding="utf-8") as f:
        rows = [line.rstrip("\n").split("\t") for line in f][1:]
    for row in rows:
        with open(os.path.join(root, row[0]), "rb") as f:
            yield row[1], row[3], f.read(), tuple(filter(None, row[7].split(",")))


def right(lib, truth, name, data, equivalent):
    if name == truth or name in equivalent:
        return True
    euc = Library.EUC_TABLES
    return name in euc and truth in euc and lib.read_euc(data, name) == lib.read_euc(data, truth)


def peers():
    found = {}
    try:
        import charset_normalizer
        found["charset_normalizer"] = lambda d: (charset_normalizer.from_bytes(d).best() or
                                                 type("", (), {"encoding": None})).encoding
    except ImportError:
        pass
    try:
        import chardet
        found["chardet"] = lambda d: chardet.detect(d)["encoding"]
    except ImportError:
        pass
    return found


PEER_NAMES = {"SJIS": {"shift_jis", "cp932", "windows-31j"}, "EUC": {"euc_jp", "euc-jp"},
              "JIS": {"iso2022_jp", "iso-2022-jp"}, "UTF8": {"utf_8", "utf-8", "ascii"},
              "UTF8_BOM": {"utf_8", "utf-8-sig", "utf_8_sig"}, "UTF16BE": {"utf_16_be", "utf-16be"},
              "UTF16LE": {"utf_16_le", "utf-16le"}, "UTF16BE_BOM": {"utf_16", "utf-16"},
              "UTF16LE_BOM": {"utf_16", "utf-16"}, "ASCII": {"ascii", "utf_8", "utf-8"}}


def peer_right(truth, answer):
    names = PEER_NAMES.get(truth.split("(")[0], set())
    return answer is not None and answer.lower().replace("-", "_") in {n.replace("-", "_") for n in names}


def report(lib, title, texts, peer_fns):
    score = collections.defaultdict(lambda: collections.Counter())
    wrong = []
    for truth, cls, data, equivalent in texts:
        r = lib.guess(data)
        name = lib.name(r.type)
        key = (truth.split("(")[0], cls)
        score[key]["n"] += 1
        if right(lib, truth, name, data, equivalent):
            score[key]["guess"] += 1
        else:
            wrong.append((truth, cls, len(data), name, lib.name(r.runner_up), r.confidence,
                          r.detected, data[:24].hex()))
        if r.detected < 64 and right(lib, truth, lib.name(r.detected), data, equivalent):
            score[key]["detect"] += 1
        for peer, fn in peer_fns.items():
            score[key][peer] += peer_right(truth, fn(data))
    columns = ["guess", "detect"] + list(peer_fns)
    print(f"\n== {title}\n{'encoding':12} {'size':7} {'n':>5} " +
          " ".join(f"{c:>18}" for c in columns))
    total = collections.Counter()
    for key in sorted(score):
        s = score[key]
        total.update(s)
        print(f"{key[0]:12} {key[1]:7} {s['n']:5} " +
              " ".join(f"{100.0 * s[c] / s['n']:17.1f}%" for c in columns))
    print(f"{'all':12} {'':7} {total['n']:5} " +
          " ".join(f"{100.0 * total[c] / max(1, total['n']):17.2f}%" for c in columns))
    for w in wrong[:40]:
        print("  wrong: truth %s %s %d bytes: guess %s (runner-up %s, %.2f), detected %d, %s" % w)
    return total


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("library")
    ap.add_argument("--suite")
    ap.add_argument("--made", type=int, default=2000, help="number of made texts")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--peers", action="store_true")
    args = ap.parse_args()
    lib = Library(args.library)
    peer_fns = peers() if args.peers else {}
    if args.suite:
        report(lib, "suite " + args.suite, suite_texts(args.suite), peer_fns)
    report(lib, "made from real sentences", made_texts(args.made, args.seed), peer_fns)


if __name__ == "__main__":
    main()
