#!/usr/bin/env python3
# Writes messages.tsv: every status message in each delivery encoding.
#
# Columns: status code, requested encoding type (15 UTF-8, 2 ISO-2022-JP,
# 4 Shift_JIS, 5 EUC-JP), the expected bytes in hex. The bytes come from
# Python's codecs (utf-8, iso2022_jp, cp932, euc_jp); for every character of
# these messages (kana, kanji, the full-width parentheses, the middle dot and
# the long vowel mark) they agree with code page 932 and JIS X 0208.
# Run from this directory.

MESSAGES = [
    (0, "SUCCESS:処理成功"),
    (-1, "EOF:入力ファイルの終わり"),
    (-2, "ENOTEXISTS:ファイルは存在せず"),
    (-3, "ENOTFILE:通常ファイルではない"),
    (-4, "EALLOC:メモリー・アロケート・エラー"),
    (-5, "EROPEN:入力ファイル・オープン・エラー"),
    (-6, "EWOPEN:出力ファイル・オープン・エラー"),
    (-7, "EREAD:入力エラー"),
    (-8, "EWRITE:出力エラー"),
    (-10, "EIOMODE:入出力モード誤り"),
    (-11, "EIOFDRANGE:ファイル記述子範囲誤り"),
    (-12, "EIONOTOPEN:未オープン・ファイルへのアクセス"),
    (-13, "EIOMAX:上限を超えたファイル・オープン"),
    (-20, "ECTYPE:コード・タイプ誤り"),
    (-21, "EBOM:BOM 不正（未使用）"),
    (-22, "EUEXPEOD:予期せぬデータの終わり"),
    (-23, "ECHAR:コード値エラー"),
]
CODECS = [(15, "utf-8"), (2, "iso2022_jp"), (4, "cp932"), (5, "euc_jp")]

with open("messages.tsv", "w") as out:
    for code, text in MESSAGES:
        for conv_type, codec in CODECS:
            out.write(f"{code}\t{conv_type}\t{text.encode(codec).hex()}\n")
