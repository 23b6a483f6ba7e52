import array
import os

import pytest

import kmv

E = kmv.Encoding
# each named for its encoding, as Encoding() reads names
SAMPLES = ["euc-jp", "iso-2022-jp", "shift_jis", "utf-16be", "utf-16le-bom",
           "utf-8-bom", "utf-8"]
# target name -> the Python codec that writes the same bytes
TARGETS = {"Shift_JIS": "cp932", "EUC-JP": "euc_jp", "eucJP-ms": "euc_jp",
           "CP51932": "euc_jp", "ISO-2022-JP": "iso2022_jp",
           "UTF-16": "utf-16", "UTF-16BE": "utf-16-be", "utf_8": "utf-8",
           "UTF-8-SIG": "utf-8-sig"}


@pytest.mark.parametrize("name", SAMPLES)
def test_samples_detected_decoded_and_converted(root, tmp_path, text, name):
    path = root / f"samples/japanese.{name}.txt"
    data = path.read_bytes()
    for view in (data, bytearray(data), memoryview(b"--" + data)[2:],
                 array.array("B", data)):  # all read in place
        assert kmv.detect(view).encoding == kmv.guess(view).encoding == E(name)
        assert kmv.decode(view) == text
        assert kmv.convert(view, "utf-8").data == text.encode()
    for target, codec in TARGETS.items():
        done = kmv.convert(data, target)
        assert (done.data, done.unconvertible) == (text.encode(codec), 0)
        assert kmv.encode(text, target) == done.data
        kmv.convert_file(path, tmp_path / "out", target, piece_size=97)
        assert (tmp_path / "out").read_bytes() == done.data


@pytest.mark.parametrize("call, args, error, message", [
    (kmv.detect, ("text",), TypeError, "bytes-like object is required"),
    (kmv.detect, (memoryview(b"abcd")[::2],), BufferError, ""),
    (kmv.decode, (b"abc", "klingon"), kmv.Error, "unknown encoding 'klingon'"),
    (kmv.decode, (b"A\x00B", "utf-16le"), kmv.Error, "(UTF16LE, at byte 2)"),
    (kmv.decode, (b"\xff\xff\xff",), kmv.Error, "no supported encoding fits"),
    (kmv.encode, ("a\ud800", "sjis"), UnicodeEncodeError, "surrogates"),
    (kmv.encode, ("日本©語", "euc-jp"), kmv.Error,
     "1 character cannot be written in EUC; the first at index 2 (U+00A9)"),
    (kmv.decode, (b"\x85\x40", "sjis"), kmv.Error, "at byte 0 (0x8540)"),
    (kmv.convert, (b"\x82\xa0", "ascii", "sjis"), kmv.Error,
     "cannot convert SJIS to ASCII"),
])
def test_bad_inputs_raise_clear_exceptions(call, args, error, message):
    with pytest.raises(error) as caught:
        call(*args)
    assert message in str(caught.value)


def test_replacements_names_and_guesses():
    done = kmv.convert("a©b😀".encode("utf-16-le"), "sjis", "utf-16le")
    assert (done.data, done.unconvertible, done.first, done.last) == \
        (b"a?b??", 3, (2, 0xA9), (8, 0xDE00))
    assert kmv.decode(b"abc\x93", "sjis", errors="replace") == "abc\ufffd"
    assert kmv.decode("😀".encode("utf-16-be"), "utf-16be") == "😀"
    assert [E(n) for n in ("windows-31j", "eucjp-ms", "UTF_8_SIG")] == \
        [E.SJIS, E.EUC3, E.UTF8_BOM]
    # plain UTF-16 follows the mark
    assert kmv.decode(b"\xfe\xff\x30\x42", "utf-16") == "あ"
    found, best = kmv.detect(b"abcd"), kmv.guess(b"abcd")
    assert not found.decided and best.encoding in found.candidates
    assert best.runner_up in found.candidates and 0 < best.confidence < 1


@pytest.mark.parametrize("data", [
    "ｱ©b😀\n日本\n".encode("utf-16-le") * 40,
    "\ufeff©\n日本".encode("utf-8") * 40,
    b"\x1b$B$\"\x1b(B\nx\x1b$B\x1b(B\x93" * 40,
])
def test_file_conversion_in_pieces_equals_the_whole(tmp_path, data):
    (tmp_path / "in").write_bytes(data)
    for target, size in (("sjis", 1), ("jis", 5), ("utf-16", 97)):
        done = kmv.convert_file(tmp_path / "in", tmp_path / "out", target,
                                piece_size=size)
        whole = kmv.convert(data, target)
        assert (tmp_path / "out").read_bytes() == whole.data
        assert (done.source, done.bytes_in, done.bytes_out,
                done.unconvertible, done.first, done.last) == \
            (whole.source, len(data), len(whole.data),
             whole.unconvertible, whole.first, whole.last)


def test_file_replaced_whole_or_not_at_all(tmp_path):
    path = tmp_path / "t"
    path.write_bytes("日本語\n".encode("euc_jp"))
    os.chmod(path, 0o640)
    kmv.convert_file(path, path, "utf-8")
    assert path.read_text(encoding="utf-8") == "日本語\n"
    assert os.stat(path).st_mode & 0o777 == 0o640
    path.write_bytes(b"abc\n\x93")
    with pytest.raises(kmv.Error, match="ends inside a character") as caught:
        kmv.convert_file(path, path, "utf-8", "sjis", piece_size=2)
    assert caught.value.offset == 4
    assert path.read_bytes() == b"abc\n\x93"
    assert os.listdir(tmp_path) == ["t"]
