#!/usr/bin/env python3
"""Writes cases.tsv: real Japanese sentences encoded with Python's codecs,
each with the detector answers that the rules give for it.

    tests/data/detect/make_cases.py path/to/libkmv.so > tests/data/detect/cases.tsv

The answers come from model.py, a plain byte-by-byte reading of the rules
written apart from the library (it takes only the mapping tables from the
built library). One line per text, tab-separated:

  NAME  HEX  CUTS  HINTS

CUTS is the answer for every prefix of the text, from 0 bytes to the whole
text (texts cut inside a character), comma-separated. HINTS is the answer
for the whole text under each expected type of EXPECTED_TYPES, first with
ignore_hints 0, then with 1, as TYPE:RESULT_RESULT, comma-separated.
"""
import sys

import model

SENTENCES = {
    "weather": "今日は良い天気ですね。",
    "katakana": "カタカナのテキストです。",
    "kanji": "東京都千代田区丸の内",
    "halfwidth": "ｶﾀｶﾅで書いた文",
    "row13": "①番の部屋は三階です。",
    "jisx0212": "鄧さんの本と丌の字。",
    "numero": "№１の部屋。",
    "ibm": "髙橋さんに会った。",
    "disputed": "価格は¢50、£3、‖並列‖、−5、¬真。",
    "ascii": "ABC abc 123\n",
    "lines": "日本語のテキスト\r\n二行目です。\n",
    "emoji": "寿司🍣を食べた。😀",
}

ENCODINGS = {"sjis": "cp932", "euc": "euc_jp", "euc2004": "euc_jis_2004", "jis": "iso2022_jp",
             "utf8": "utf-8", "utf8bom": "utf-8-sig", "utf16be": "utf-16-be", "utf16le": "utf-16-le",
             "utf16bom": "utf-16"}

EXPECTED_TYPES = [0, 1, 4, 5, 6, 7, 8, 11, 13, 15]


def texts():
    for sname, sentence in SENTENCES.items():
        seen = set()
        for ename, codec in ENCODINGS.items():
            try:
                data = sentence.encode(codec)
            except UnicodeEncodeError:
                continue
            if data in seen:  # e.g. ASCII is the same in most encodings
                continue
            seen.add(data)
            yield f"{sname}.{ename}", data


def main():
    tables = model.load_tables(sys.argv[1])
    for name, data in texts():
        cuts = [model.kmv_buf(tables, data[:n]) for n in range(len(data) + 1)]
        hints = [f"{e}:{model.kmv_buf(tables, data, e, False)}_{model.kmv_buf(tables, data, e, True)}"
                 for e in EXPECTED_TYPES]
        sys.stdout.write(f"{name}\t{data.hex()}\t{','.join(map(str, cuts))}\t{','.join(hints)}\n")


if __name__ == "__main__":
    main()
