#!/usr/bin/env python3
"""Writes one sample text in every encoding the stream layer handles.

The bytes come from Python's codecs (cp932, euc_jp, iso2022_jp, utf-16,
utf-8). The text keeps to characters on which those codecs and code page
932 / JIS X 0208 agree, so every file is the expected result of converting
any other into its encoding. Run from this directory.
"""

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

for name, codec in (("sjis", "cp932"), ("euc", "euc_jp"), ("jis", "iso2022_jp"),
                    ("utf16be", "utf-16-be"), ("utf16le", "utf-16-le"), ("utf8", "utf-8")):
    open("sample." + name, "wb").write(TEXT.encode(codec))
    if codec.startswith("utf"):
        open(f"sample.{name}_bom", "wb").write(("\ufeff" + TEXT).encode(codec))
