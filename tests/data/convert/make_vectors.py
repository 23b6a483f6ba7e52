#!/usr/bin/env python3
"""Writes the expected bytes of the converter round-trip tests with Python's
codecs, an implementation independent of this library. Run it from this
directory; the build never runs it.

Two texts, each written in every encoding the tests compare:

  common  JIS X 0208 text, ASCII, half-width katakana, CR LF and LF line
          ends: every encoding holds it.
  ext     the code page 932 extensions (NEC row 13, IBM extensions), which
          EUC-JP's common table and Python's iso2022_jp lack.

Where this library's mapping and Python's codecs differ by design, the
difference is applied here and named:

  * U+301C WAVE DASH: the library writes Shift_JIS 81 60 for it (and for
    U+FF5E); Python's cp932 knows only U+FF5E there.
  * Code page 932 holds most IBM extension characters twice (the
    NEC-selected copies at ED40-EEFC and the IBM ones at FA40-FC4B); the
    library keeps only the IBM codes, Python's cp932 writes the NEC-selected
    ones.
  * ISO-2022-JP of the extensions: Python has no code page 50221 codec; the
    expected bytes are Python's cp932 bytes taken back to JIS row/cell codes
    by the standard Shift_JIS arithmetic (the IBM extensions through their
    NEC-selected copies at ED40-EEFC, rows 79 to 7C in JIS), with
    ESC $ B / ESC ( I / ESC ( B written on every change of mode.
"""

COMMON = (
    "日本語の文書変換ライブラリ、kmv のテストです。\r\n"
    "「ひらがな」と『カタカナ』、漢字（かんじ）を含みます。\n"
    "ASCII only line: 1 + 2 = 3; x < y > z & \"quoted\" 'text' {braces} [brackets] ~^_`|\\\n"
    "半角カナ：ｱｲｳｴｵ ｶﾞｷﾞｸﾞ ﾊﾟﾋﾟﾌﾟ｡｢ｺﾝﾆﾁﾊ｣､ｰ\n"
    "記号：〜 ＼ ― ‐ … ‥ ‘’“” 〒 ※ → ← ↑ ↓ ○ ● ◎ ☆ ★ ＃ ＆ ＠ § ¶ ？ ！\n"
    "ギリシア文字 αβγδ ΑΒΓΔ、キリル文字 абвг АБВГ、全角英数 ＡＢＣ１２３\n"
    "吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。"
    "何でも薄暗いじめじめした所でニャーニャー泣いていた事だけは記憶している。\r\n"
    "mixed: The file 設定.conf holds key=値 pairs; see man 5 設定.\n"
)

EXT = (
    "丸数字 ①②③④⑤⑩⑳ ローマ数字 ⅠⅡⅢⅣⅤ ⅰⅱⅲ\n"
    "単位 ㍉㌔㌢㍍㌘㌧ 記号 №℡㈱㈲㈹ ㊤㊥㊦ ∮∑∟⊿\n"
    "人名 髙橋 﨑山 德永 朗 纊 褜 鍈 銈\n"
)


def cp932_preferring_ibm(text):
    codes = [bytes([lead, trail]) for lead in range(0xFA, 0xFD) for trail in range(0x40, 0xFD)]
    ibm = {code.decode("cp932", "replace"): code for code in reversed(codes)}  # the first code wins
    out = bytearray()
    for ch in text.replace("\u301c", "\uff5e"):
        code = ch.encode("cp932")
        out += ibm[ch] if len(code) == 2 and 0xED <= code[0] <= 0xEE and ch in ibm else code
    return bytes(out)


def sjis_to_jis(s1, s2):
    row = (s1 - 0x70 if s1 <= 0x9F else s1 - 0xB0) * 2 - 1
    return (row + 1, s2 - 0x7E) if s2 >= 0x9F else (row, s2 - 0x1F - (s2 >= 0x80))


def jis_from_cp932(text):
    out, mode = bytearray(), b"\x1b(B"
    for ch in text + "\0":  # the NUL closes the text in ASCII mode
        if ord(ch) < 0x80:
            want, code = b"\x1b(B", bytes([ord(ch)])
        elif ord(ch) in range(0xFF61, 0xFFA0):
            want, code = b"\x1b(I", bytes([ord(ch) - 0xFF40])
        else:
            s = ch.replace("\u301c", "\uff5e").encode("cp932")
            want, code = b"\x1b$B", bytes(sjis_to_jis(s[0], s[1]))
        out += (want if want != mode else b"") + code
        mode = want
    return bytes(out[:-1])


def main():
    for name, text in (("common", COMMON), ("ext", EXT)):
        for suffix, data in (
            ("utf8", text.encode("utf-8")),
            ("utf16be", text.encode("utf-16-be")),
            ("utf16le", text.encode("utf-16-le")),
            ("sjis", cp932_preferring_ibm(text)),
            ("jis", jis_from_cp932(text)),
        ):
            open(f"{name}.{suffix}", "wb").write(data)
    open("common.eucjp", "wb").write(COMMON.encode("euc_jp"))
    # The JIS writer above follows the same rules as Python's own encoder
    # wherever that one can write the text.
    assert jis_from_cp932(COMMON) == COMMON.encode("iso2022_jp_ext")


if __name__ == "__main__":
    main()
