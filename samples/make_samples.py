#!/usr/bin/env python3
"""Writes the sample texts of this directory: one Japanese text in several
encodings, each made with Python's own codecs (an independent encoder).

Run from anywhere: python3 samples/make_samples.py
"""
import pathlib

# Plain JIS X 0208 characters only, so that every encoding below holds the
# whole text and every converter must give it back unchanged.
TEXT = """\
日本語の文字コードについて

日本語の文章は、長いあいだ幾つもの文字コードで書かれてきました。電子メールでは七ビットで送れるISO-2022-JPが使われ、パソコンではShift_JISが、UNIXの世界ではEUC-JPが広まりました。どれも同じJIS X 0208の文字集合を元にしていますが、バイトの並べ方はまったく違います。

そのため、受け取ったファイルを開いてみると、読めない記号がずらりと並んでいる、ということがよくありました。いわゆる「文字化け」です。今ではUTF-8が主流になりましたが、古い文書や業務用のコンピューターには、昔の文字コードで書かれたデータが今もたくさん残っています。

このライブラリは、そうしたテキストの文字コードを推定し、別の文字コードへ変換します。ひらがな、カタカナ、漢字、そして全角の記号（「」『』【】・…）も、正しく往復できるはずです。

春はあけぼの。やうやう白くなりゆく山ぎは、すこしあかりて、紫だちたる雲のほそくたなびきたる。
夏は夜。月のころはさらなり、やみもなほ、ほたるの多く飛びちがひたる。
"""

# file name part -> (Python codec, byte-order mark written first)
ENCODINGS = {
    "utf-8": ("utf-8", b""),
    "utf-8-bom": ("utf-8", b"\xef\xbb\xbf"),
    "shift_jis": ("shift_jis", b""),
    "euc-jp": ("euc_jp", b""),
    "iso-2022-jp": ("iso2022_jp", b""),
    "utf-16le-bom": ("utf-16-le", b"\xff\xfe"),
    "utf-16be": ("utf-16-be", b""),
}


def main():
    here = pathlib.Path(__file__).resolve().parent
    for name, (codec, mark) in ENCODINGS.items():
        data = mark + TEXT.encode(codec)
        (here / f"japanese.{name}.txt").write_bytes(data)
        print(f"japanese.{name}.txt: {len(data)} bytes")


if __name__ == "__main__":
    main()
