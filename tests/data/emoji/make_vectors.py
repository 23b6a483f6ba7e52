#!/usr/bin/python3
"""Writes one text with characters beyond U+FFFF in UTF-8 and in UTF-16 of
either byte order, each with and without a byte-order mark, as Python's
codecs encode it: python3 make_vectors.py"""
import pathlib

TEXT = (
    "今日の寿司🍣は最高でした👍🏽\n"
    "家族👨‍👩‍👧‍👦で🇯🇵旅行。𠮷野家で𩸽定食😀\r\n"
    "ASCII, かな, ｶﾀｶﾅ, 漢字 and U+10FFFF \U0010ffff at the end.\n"
)
here = pathlib.Path(__file__).resolve().parent
for name, codec in [("utf8", "utf-8"), ("utf16be", "utf-16-be"), ("utf16le", "utf-16-le")]:
    (here / f"text.{name}").write_bytes(TEXT.encode(codec))
    (here / f"text.{name}_bom").write_bytes(("\ufeff" + TEXT).encode(codec))
