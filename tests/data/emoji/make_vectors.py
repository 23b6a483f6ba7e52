#!/usr/bin/python3
"""Writes one text with characters beyond U+FFFF in UTF-8 and UTF-16 of
either byte order, each with and without a byte-order mark, as Python's
codecs encode it. Run from anywhere: python3 make_vectors.py"""
import pathlib

TEXT = (
    "今日の寿司🍣は最高でした👍🏽\n"
    "家族👨‍👩‍👧‍👦で🇯🇵旅行。𠮷野家で𩸽定食😀\r\n"
    "ASCII, かな, ｶﾀｶﾅ, 漢字 and U+10FFFF \U0010ffff at the end.\n"
)

FORMS = {
    "utf8": TEXT.encode("utf-8"),
    "utf8_bom": TEXT.encode("utf-8-sig"),
    "utf16be": TEXT.encode("utf-16-be"),
    "utf16be_bom": "\ufeff".encode("utf-16-be") + TEXT.encode("utf-16-be"),
    "utf16le": TEXT.encode("utf-16-le"),
    "utf16le_bom": "\ufeff".encode("utf-16-le") + TEXT.encode("utf-16-le"),
}

here = pathlib.Path(__file__).resolve().parent
for name, data in FORMS.items():
    (here / f"text.{name}").write_bytes(data)
