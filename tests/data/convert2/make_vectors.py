#!/usr/bin/env python3
"""Expected bytes for the Shift_JIS, EUC-JP and ISO-2022-JP converters.

The oracle is Python's own codec data: `cp932` for Shift_JIS and everything
derived from it, `euc_jp` for JIS X 0212, and `iso2022_jp` / `euc_jp` /
`utf-8` / `utf-16` as cross-checks. From that data this script rebuilds the
library's mappings by their published rules (code page 932, 50221, 20932,
51932 and eucJP-ms), then converts a few real Japanese texts the way each
converter is meant to, with the library's replacement and recording rules.

Where the library deliberately maps differently from Python's codecs, the
difference is made here, in one place, and named:

* Shift_JIS 81 60 and EUC-JP A1 C1 read as U+301C WAVE DASH (cp932 says
  U+FF5E); ISO-2022-JP 21 41 reads as U+FF5E (iso2022_jp says U+301C).
* Code page 932 codes that repeat a character held elsewhere (the NEC row 13
  copies of row 2 symbols, the NEC-selected IBM extensions ED40-EEFC, ...)
  have no mapping: only the preferred code keeps the character. Python's
  cp932 encoder prefers the NEC-selected codes; the library the IBM ones.
* Python's cp932 encoder also accepts U+00A5, U+2016, U+2212, U+00A2, ...
  as best-fit guesses; the library's tables are exact inverses and do not.
* EUC-JP comes in four table variants; Python's `euc_jp` is close to the
  code page 20932 one but reads 8F A2 B7 as U+007E, which the library
  leaves unmapped (it would collide with ASCII).

Run it from anywhere; it rewrites vectors.txt beside itself:

    python3 tests/data/convert2/make_vectors.py
"""

import os, re

# ---------------------------------------------------------------------------
# Tables, rebuilt from Python's codec data.
# ---------------------------------------------------------------------------


def decoded(data, codec):
    try:
        return data.decode(codec)
    except UnicodeDecodeError:
        return None


def cp932(code):
    return decoded(bytes([code >> 8, code & 0xFF]), "cp932")


def jis_to_sjis(code):
    j1, j2 = code >> 8, code & 0xFF
    s1 = (j1 + 1) // 2 + (0x70 if j1 <= 0x5E else 0xB0)
    s2 = j2 + 0x1F + (j2 >= 0x60) if j1 & 1 else j2 + 0x7E
    return s1 << 8 | s2


SJIS_DUPLICATES = (
    {0x8790, 0x8791, 0x8792, 0x8795, 0x8796, 0x8797, 0x879A, 0x879B, 0x879C}
    | {(a << 8) | b for a in (0xED, 0xEE) for b in range(0x40, 0xFD)}
    | set(range(0xFA4A, 0xFA55))
    | {0xFA58, 0xFA59, 0xFA5A, 0xFA5B}
)


def build_sjis_decode():
    table = {b: chr(b) for b in range(1, 0x80)}
    table.update({b: chr(0xFF61 + b - 0xA1) for b in range(0xA1, 0xE0)})
    codes = (lead << 8 | trail for lead in [*range(0x81, 0xA0), *range(0xE0, 0xFD)] for trail in range(0x40, 0xFD))
    table.update({c: ch for c in codes if c not in SJIS_DUPLICATES and (ch := cp932(c)) is not None})
    table[0x8160] = "\u301c"  # WAVE DASH, not cp932's FULLWIDTH TILDE
    return table


JIS_ROWS = set(range(0x21, 0x29)) | {0x2D} | set(range(0x30, 0x75)) | set(range(0x79, 0x7D))
JIS_DUPLICATES = {0x2D70, 0x2D71, 0x2D72, 0x2D75, 0x2D76, 0x2D77, 0x2D7A,
                  0x2D7B, 0x2D7C, 0x7C7B}


def build_jis_decode():
    table = {b: chr(b) for b in range(1, 0x80)}
    codes = (j1 << 8 | j2 for j1 in JIS_ROWS for j2 in range(0x21, 0x7F))
    table.update({c: ch for c in codes if c not in JIS_DUPLICATES and (ch := cp932(jis_to_sjis(c))) is not None})
    return table


def euc_single_and_katakana():
    table = {b: chr(b) for b in range(1, 0x80)}
    table.update({0x8E00 | b: chr(0xFF61 + b - 0xA1) for b in range(0xA1, 0xE0)})
    return table


COMMON_GAPS = {0xA1C2: "\u2016", 0xA1DD: "\u2212", 0xA1F1: "\u00a2",
               0xA1F2: "\u00a3", 0xA2CC: "\u00ac"}


def build_euc_common():
    table = euc_single_and_katakana()
    codes = (j1 << 8 | j2 for j1 in [*range(0x21, 0x29), *range(0x30, 0x75)] for j2 in range(0x21, 0x7F))
    table.update({c + 0x8080: ch for c in codes if c + 0x8080 not in COMMON_GAPS and (ch := cp932(jis_to_sjis(c)))})
    table[0xA1C1] = "\u301c"
    return table


def build_jisx0212():
    """Index (two bytes after 8F) to character, from Python's euc_jp."""
    codes = (a << 8 | b for a in range(0xA1, 0xFF) for b in range(0xA1, 0xFF))
    table = {c: ch for c in codes if (ch := decoded(bytes([0x8F, c >> 8, c & 0xFF]), "euc_jp")) is not None}
    del table[0xA2B7]  # euc_jp's U+007E would collide with ASCII
    return table


def build_euc_51932():
    table = euc_single_and_katakana()
    table.update({code + 0x8080: ch for code, ch in JIS_DECODE.items() if code >= 0x100})
    table[0xA1C1] = "\u301c"
    return table


def private_use(first):
    """Rows F5 to FE, in order, onto the private use area from first on."""
    return {r << 8 | c: chr(first + (r - 0xF5) * 94 + (c - 0xA1)) for r in range(0xF5, 0xFF) for c in range(0xA1, 0xFF)}


def build_euc_ms():
    table00 = {b: chr(b) for b in list(range(1, 0x8E)) + list(range(0x90, 0xA0))}
    table00.update({k: v for k, v in EUC_51932.items() if 0x8E00 <= k < 0xF500})
    table00.update(private_use(0xE000))
    table8f = {**JISX0212, 0xA2B7: "\uff5e", 0xA2C3: "\uffe4"}
    del table8f[0xA2F1]
    held = set(table00.values()) | set(table8f.values())
    extra = [ch for ch in dict.fromkeys(filter(None, map(cp932, range(0xFA40, 0xFC4C)))) if ch not in held]
    assert len(extra) == 93, len(extra)
    places = (list(range(0xF3F3, 0xF3FD)) + [0xF4A9, 0xF4AA]
              + list(range(0xF4AE, 0xF4FF)))
    table8f.update(zip(places, extra))
    table8f.update(private_use(0xE3AC))
    return table00, table8f


def invert(table, prefix=0):
    return {ch: prefix | code for code, ch in reversed(table.items())}  # the first code wins


SJIS_DECODE = build_sjis_decode()
JIS_DECODE = build_jis_decode()
JISX0212 = build_jisx0212()
EUC_51932 = build_euc_51932()
EUC_MS, EUC_MS_8F = build_euc_ms()

# The EUC-JP variants: decoding tables (one/two-byte, three-byte) and the
# encoding table, keyed by the names the vectors use.
EUC_DECODE = {
    "common": (build_euc_common(), {}),
    "20932": ({**build_euc_common(), **COMMON_GAPS}, JISX0212),
    "51932": (EUC_51932, {}),
    "ms": (EUC_MS, EUC_MS_8F),
}

SJIS_ENCODE = invert(SJIS_DECODE)
SJIS_ENCODE["\uff5e"] = 0x8160
JIS_ENCODE = invert(JIS_DECODE)
JIS_ENCODE["\u301c"] = 0x2141


def euc_encoder(variant):
    table00, table8f = EUC_DECODE[variant]
    enc = invert(table00)
    for ch, code in invert(table8f, 0x8F0000).items():
        enc.setdefault(ch, code)
    if variant in ("common", "20932"):
        enc.update({"\uff0d": 0xA1DD, "\uffe0": 0xA1F1, "\uffe1": 0xA1F2,
                    "\uffe2": 0xA2CC})
    if variant == "20932":
        enc["\uffe4"] = 0x8FA2C3
    if variant in ("51932", "ms"):
        enc["\uff5e"] = 0xA1C1
    return enc


EUC_ENCODE = {v: euc_encoder(v) for v in EUC_DECODE}

# ---------------------------------------------------------------------------
# The converters, as the library means them to behave.
# ---------------------------------------------------------------------------

Q = ord("?")


class Record:
    """The per-call state: count, first and last position and code."""

    def __init__(self):
        self.count, self.first, self.last = 0, None, None

    def add(self, offset, code):
        self.first, self.last = self.first or (offset, code), (offset, code)
        self.count += 1


def code_bytes(code):
    """A code's bytes: one, two, or three for EUC-JP's 8F codes."""
    return code.to_bytes(max(1, (code.bit_length() + 7) // 8), "big")


class JisWriter:
    """The three-mode ISO-2022-JP writer (code page 50221 form)."""

    ENTER = {0: b"\x1b(B", 1: b"\x1b$B", 2: b"\x1b(I"}

    def __init__(self):
        self.out, self.mode = bytearray(), 0

    def put(self, mode, data):
        if self.mode != mode:
            self.out += self.ENTER[mode]
            self.mode = mode
        self.out += data

    def close(self):
        self.put(0, b"")
        return bytes(self.out)


class Target:
    """Writes characters (as Unicode values) in one target encoding."""

    def __init__(self, name, variant=None):
        self.name, self.variant = name, variant
        self.out, self.jis = bytearray(), JisWriter()

    def replacement(self):
        if self.name == "jis":
            self.jis.put(1, b"\x21\x29")
        elif self.name in ("euc", "sjis"):
            self.out += b"?"
        else:
            self.unicode(Q)

    def byte(self, b):
        """A source byte copied as it stands (legacy targets)."""
        if self.name == "jis":
            self.jis.put(0, bytes([b]))
        else:
            self.out += bytes([b])

    def katakana(self, k):
        """A half-width katakana, k from 21 to 5F."""
        if self.name == "jis":
            self.jis.put(2, bytes([k]))
        elif self.name == "sjis":
            self.out += bytes([k + 0x80])
        elif self.name == "euc":
            self.out += bytes([0x8E, k + 0x80])
        else:
            self.unicode(0xFF40 + k)

    def unicode(self, u):
        """Unicode targets only: legacy ones go through encode()."""
        self.out += chr(u).encode({"utf8": "utf-8", "unibe": "utf-16-be", "unile": "utf-16-le"}[self.name])

    def encode(self, ch):
        """Writes a decoded character into a legacy target and returns its
        code there; None when there is none (the replacement is written)."""
        code = {"jis": JIS_ENCODE, "sjis": SJIS_ENCODE}.get(self.name, EUC_ENCODE.get(self.variant)).get(ch)
        if code is None:
            self.replacement()
        elif self.name == "jis":
            self.jis.put(int(code >= 0x100), code_bytes(code))
        else:
            self.out += code_bytes(code)
        return code

    def result(self):
        return self.jis.close() if self.name == "jis" else bytes(self.out)


LEGACY = ("euc", "sjis", "jis")


def convert_sjis(src, target):
    rec, i = Record(), 0
    while i < len(src):
        b = src[i]
        if 0xA1 <= b <= 0xDF or b < 0x80:
            if b >= 0x80:
                target.katakana(b - 0x80)
            elif target.name in LEGACY:
                target.byte(b)
            elif b in SJIS_DECODE:
                target.unicode(b)
            else:
                target.replacement()  # the byte 00: not counted
            i += 1
            continue
        code = b << 8 | src[i + 1]
        ch = SJIS_DECODE.get(code)
        if ch is None:
            target.replacement()
            rec.add(i, code)
        elif target.name in LEGACY:
            if target.encode(ch) is None:
                rec.add(i, code)
        else:
            target.unicode(ord(ch))
        i += 2
    return target.result(), rec


def convert_euc(src, variant, target):
    table00, table8f = EUC_DECODE[variant]
    rec, i = Record(), 0
    while i < len(src):
        b = src[i]
        if b == 0x8E or (b <= 0xA0 and b != 0x8F):
            kana = b == 0x8E
            code = 0x8E00 | src[i + 1] if kana else b
            assert not kana or 0xA1 <= src[i + 1] <= 0xDF
            if kana and target.name in LEGACY:
                target.katakana(src[i + 1] - 0x80)
            elif not kana and (target.name in LEGACY or target.name == "utf8"):
                target.byte(b)
            elif code in table00:
                target.unicode(ord(table00[code]))
            else:
                target.replacement()
                rec.add(i, code)
            i += 1 + kana
            continue
        assert b != 0xFF
        if b == 0x8F:
            index, length = src[i + 1] << 8 | src[i + 2], 3
            code, ch = 0x8F0000 | index, table8f.get(index)
        else:
            index, length = b << 8 | src[i + 1], 2
            code, ch = index, table00.get(index)
        if ch is None:
            target.replacement()
            rec.add(i, code)  # the first stage failed: the EUC-JP code
        elif target.name in LEGACY:
            if target.encode(ch) is None:
                rec.add(i, ord(ch))  # only the second: the UTF-16 value
        else:
            target.unicode(ord(ch))
        i += length
    return target.result(), rec


def convert_jis(src, target):
    """The lenient ISO-2022-JP decoder, for well-formed input."""
    rec, i, mode = Record(), 0, 0
    designations = {b"$@": 1, b"$B": 1, b"$J": 1, b"(B": 0, b"(J": 0,
                    b"(H": 0, b"(I": 2}
    while i < len(src):
        if src[i] == 0x1B:
            mode = designations[bytes(src[i + 1:i + 3])]
            i += 3
        elif mode == 2:
            target.katakana(src[i])
            i += 1
        elif mode == 0:
            b = src[i]
            assert b not in (0x0E, 0x0F) and b < 0x7F
            if target.name in LEGACY:
                target.byte(b)
            elif b == 0:
                target.replacement()
                rec.add(i, 0)
            else:
                target.unicode(b)
            i += 1
        else:
            code = src[i] << 8 | src[i + 1]
            ch = JIS_DECODE.get(code)
            if ch is None:
                target.replacement()
                value = None
            elif target.name in LEGACY:
                value = target.encode(ch)
            else:
                value = ord(ch)
                target.unicode(value)
            # A value that is itself "?" counts as a replacement too.
            if (value is None or value == Q or value >> 8 == Q) and code != Q:
                rec.add(i, code)
            i += 2
    return target.result(), rec


# ---------------------------------------------------------------------------
# Source texts. Each is written in one source encoding by the library's own
# mapping (so every character of it is a character there).
# ---------------------------------------------------------------------------

PROSE = (
    "吾輩は猫である。名前はまだ無い。\n"
    "どこで生れたかとんと見当がつかぬ。何でも薄暗いじめじめした所で"
    "ニャーニャー泣いていた事だけは記憶している。\r\n"
    "ある日の暮方の事である。一人の下人が、羅生門の下で雨やみを待っていた。\n"
    "雨ニモマケズ　風ニモマケズ　雪ニモ夏ノ暑サニモマケヌ　丈夫ナカラダヲモチ\r"
    "kmv 1.01 は「日本語の文字コード」を判定・変換します"
    "（Shift_JIS, EUC-JP, ISO-2022-JP）。\n"
    "全角英数字：ＡＢＣ　１２３、記号：※〒→★♪―＼、"
    "ギリシャ文字 αβγΩ、キリル文字 абвЖ。\n"
    "\n"
    "C:\\Program Files\\kmv> echo ~/日本語 \"quoted\" {braces} [brackets]"
)

CP932_EXTENSIONS = (
    "半角ｶﾀｶﾅでﾃｽﾄ｡ﾊﾟﾋﾟﾌﾟ!\n"
    "丸数字①②⑩、単位㍉㌔㎝、㈱と№、ローマ数字ⅠⅡとⅲⅳ。\n"
    "髙橋さんと﨑山さん、∵≒≡∫￢。波ダッシュ〜と全角チルダ～\n"
)

JISX0212_TEXT = (
    "森鷗外の『舞姫』、補助漢字の丂丄丅と記号˘。\n"
    "鷗は JIS X 0212 の補助漢字で、JIS X 0208 にはない。\n"
)

# The codes on which the code pages and the EUC-JP variants disagree, one
# per row of the disagreement tables, as each family writes them, with a
# hiragana all agree on and a line end.
DISPUTED_SJIS = bytes.fromhex("5c7e815c815f81608161817c8191819281ca82a00a")
DISPUTED_JIS = bytes.fromhex(
    "5c7e1b2442213d214021412142215d21712172224c24221b28420a")
DISPUTED_EUC = bytes.fromhex(
    "5c7ea1bda1c0a1c1a1c2a1dda1f1a1f2a2cc8fa2b78fa2c3a4a20a")


def split_lines(text):
    """Character counts of the lines a scanner hands out, line ends apart."""
    parts = re.split(r"\r\n|\r|\n", text)
    return [len(p) for p in (parts[:-1] if parts[-1] == "" else parts)]


def encode_source(family, variant, text):
    if family == "sjis":
        return b"".join(code_bytes(SJIS_ENCODE[ch]) for ch in text)
    if family == "jis":
        w = JisWriter()
        for ch in text:
            if 0xFF61 <= ord(ch) <= 0xFF9F:
                w.put(2, bytes([ord(ch) - 0xFF40]))
            elif ord(ch) < 0x80:
                w.put(0, ch.encode("ascii"))
            else:
                w.put(1, code_bytes(JIS_ENCODE[ch]))
        return w.close()
    return b"".join(code_bytes(EUC_ENCODE[variant][ch]) for ch in text)


TARGETS = {
    "sjis": ["euc", "jis", "unibe", "unile", "utf8"],
    "euc": ["euc", "jis", "sjis", "unibe", "unile", "utf8"],
    "jis": ["euc", "sjis", "unibe", "unile", "utf8"],
}
VARIANTS = ["common", "20932", "51932", "ms"]


def cases(name, family, variant, src, line_counts):
    yield "S %s %s %s %s" % (name, family, variant or "-", src.hex())
    if line_counts is not None:
        yield "L %s %s" % (name, " ".join(str(n) for n in line_counts))
    for target in TARGETS[family]:
        for dst_variant in VARIANTS if target == "euc" else [None]:
            t = Target(target, dst_variant)
            out, rec = (convert_sjis(src, t) if family == "sjis" else convert_jis(src, t) if family == "jis"
                        else convert_euc(src, variant, t))
            yield "C %s %s %s %d %d %d %d %d %s" % (name, target, dst_variant or "-", rec.count,
                                                    *(rec.first or (-1, -1)), *(rec.last or (-1, -1)), out.hex())


def cross_check():
    """The rebuilt mappings agree with Python's codecs on plain text."""
    assert encode_source("sjis", None, PROSE) == PROSE.encode("cp932")
    assert encode_source("jis", None, PROSE) == PROSE.encode("iso2022_jp")
    for v in VARIANTS:
        assert encode_source("euc", v, PROSE) == PROSE.encode("euc_jp"), v
    assert encode_source("euc", "20932", JISX0212_TEXT) == \
        JISX0212_TEXT.encode("euc_jp")
    kana = CP932_EXTENSIONS.split("\n")[0]
    assert encode_source("jis", None, kana) == kana.encode("iso2022_jp_ext")
    # Table sizes the library publishes (non-zero entries).
    sizes = [(SJIS_DECODE, 9396), (JIS_DECODE, 7453), (EUC_DECODE["common"][0], 7064),
             (EUC_DECODE["20932"][0], 7069), (JISX0212, 6066), (EUC_51932, 7516),
             (EUC_MS, 8113), (EUC_MS_8F, 7099)]
    for table, size in sizes:
        assert len(table) == size, (len(table), size)


def main():
    cross_check()
    lines = ["# Generated by make_vectors.py. S name family variant hex; "
             "L name line character counts;",
             "# C name target dst_variant err_count first_offset first_code "
             "last_offset last_code hex"]
    texts = [("prose_sjis", "sjis", None, PROSE),
             ("prose_jis", "jis", None, PROSE),
             ("ext_sjis", "sjis", None, CP932_EXTENSIONS),
             ("ext_jis", "jis", None, CP932_EXTENSIONS),
             ("ext_euc51932", "euc", "51932", CP932_EXTENSIONS),
             ("x0212_euc20932", "euc", "20932", JISX0212_TEXT),
             ("x0212_eucms", "euc", "ms", JISX0212_TEXT)]
    texts += [("prose_euc" + v, "euc", v, PROSE) for v in VARIANTS]
    for name, family, variant, text in texts:
        src = encode_source(family, variant, text)
        lines.extend(cases(name, family, variant, src, split_lines(text)))
    disputed = [("disputed_sjis", "sjis", None, DISPUTED_SJIS), ("disputed_jis", "jis", None, DISPUTED_JIS)]
    for name, family, variant, src in disputed + [("disputed_euc" + v, "euc", v, DISPUTED_EUC) for v in VARIANTS]:
        lines.extend(cases(name, family, variant, src, None))
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "vectors.txt"), "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
