#!/usr/bin/env python3
# Writes one sample text in every encoding the stream layer handles.
#
# The bytes come from Python's codecs (cp932, euc_jp, iso2022_jp, utf-16,
# utf-8). The text keeps to characters on which those codecs and code page
# 932 / JIS X 0208 agree, so every file is the expected result of converting
# any other into its encoding. Run from this directory.

LINES = [
    "日本語のテキストを一行ずつ読みます。",
    "Hello, 世界! 1234",
    "",
    "カタカナとひらがな、それに漢字を含む行です。",
    "ASCII only line",
    "「括弧」や記号・長音ー、全角数字１２３も使います。",
    "最後の行は改行で終わります。",
]
TEXT = "\n".join(LINES) + "\n"

FILES = {
    "sample.sjis": TEXT.encode("cp932"),
    "sample.euc": TEXT.encode("euc_jp"),
    "sample.jis": TEXT.encode("iso2022_jp"),
    "sample.utf16be": TEXT.encode("utf-16-be"),
    "sample.utf16be_bom": b"\xfe\xff" + TEXT.encode("utf-16-be"),
    "sample.utf16le": TEXT.encode("utf-16-le"),
    "sample.utf16le_bom": b"\xff\xfe" + TEXT.encode("utf-16-le"),
    "sample.utf8": TEXT.encode("utf-8"),
    "sample.utf8_bom": b"\xef\xbb\xbf" + TEXT.encode("utf-8"),
}

for name, data in FILES.items():
    with open(name, "wb") as f:
        f.write(data)
