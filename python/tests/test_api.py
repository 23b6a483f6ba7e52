import array
import mmap
import os

import pytest

import kmv

E = kmv.Encoding
SAMPLES = {"euc-jp": E.EUC, "iso-2022-jp": E.JIS, "shift_jis": E.SJIS,
           "utf-16be": E.UTF16BE, "utf-16le-bom": E.UTF16LE_BOM,
           "utf-8-bom": E.UTF8_BOM, "utf-8": E.UTF8}
# target name -> the Python codec that writes the same bytes
TARGETS = {"Shift_JIS": "cp932", "EUC-JP": "euc_jp", "eucJP-ms": "euc_jp",
           "CP51932": "euc_jp", "ISO-2022-JP": "iso2022_jp",
           "UTF-16": "utf-16", "UTF-16BE": "utf-16-be", "utf_8": "utf-8",
           "UTF-8-SIG": "utf-8-sig"}


@pytest.mark.parametrize("name", SAMPLES)
def test_samples_detected_decoded_and_converted(root, text, name):
    data = (root / f"samples/japanese.{name}.txt").read_bytes()
    assert kmv.detect(data).encoding == SAMPLES[name]
    assert kmv.guess(data).encoding == SAMPLES[name]
    assert kmv.decode(data) == text
    for target, codec in TARGETS.items():
        done = kmv.convert(data, target)
        assert (done.data, done.unconvertible) == (text.encode(codec), 0)
        assert kmv.encode(text, target) == done.data


def test_stream_samples_all_decode_alike(root):
    paths = sorted((root / "tests/data/io").glob("sample.*[!y]"))
    texts = {p.name: kmv.decode(p.read_bytes()) for p in paths}
    assert len(texts) == 9
    assert set(texts.values()) == {texts["sample.utf8"]}


def test_bytes_like_inputs_give_the_same_answers(tmp_path, text):
    data = text.encode("cp932")
    (tmp_path / "t").write_bytes(data)
    with open(tmp_path / "t", "rb") as f, \
            mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ) as mapped:
        inputs = [bytearray(data), memoryview(b"--" + data)[2:], mapped,
                  array.array("B", data)]
        for view in inputs:
            assert kmv.detect(view).encoding == E.SJIS
            assert kmv.decode(view) == text
            assert kmv.convert(view, "utf-8").data == text.encode()


@pytest.mark.parametrize("call, error, message", [
    (lambda: kmv.detect("text"), TypeError, "bytes-like object is required"),
    (lambda: kmv.detect(memoryview(b"abcd")[::2]), BufferError, ""),
    (lambda: kmv.decode(b"abc", "klingon"), kmv.Error,
     "unknown encoding 'klingon'"),
    (lambda: kmv.convert(b"abc", 5), TypeError, "not 'int'"),
    (lambda: kmv.decode(b"abc\x93\xfa\x96", "sjis"), kmv.Error,
     "the text ends inside a character (SJIS, at byte 5)"),
    (lambda: kmv.decode(b"A\x00B", "utf-16le"), kmv.Error,
     "the text ends inside a character (UTF16LE, at byte 2)"),
    (lambda: kmv.decode(b"\x82\xa0", errors="ignore"), ValueError,
     "errors must be"),
    (lambda: kmv.decode(b"\xff\xff\xff"), kmv.Error,
     "no supported encoding fits"),
    (lambda: kmv.encode(b"abc", "sjis"), TypeError, "wants a str"),
    (lambda: kmv.encode("a\ud800", "sjis"), UnicodeEncodeError,
     "surrogates not allowed"),
    (lambda: kmv.encode("日本©語", "euc-jp"), kmv.Error,
     "1 character cannot be written in EUC; the first at index 2 (U+00A9)"),
    (lambda: kmv.decode(b"\x85\x40", "sjis"), kmv.Error,
     "1 character cannot be written in Unicode; the first at byte 0 (0x8540)"),
    (lambda: kmv.convert(b"\x82\xa0", "ascii", "sjis"), kmv.Error,
     "cannot convert SJIS to ASCII"),
    (lambda: kmv.convert_file("/nonexistent", "/tmp/x", "sjis"),
     FileNotFoundError, ""),
])
def test_bad_inputs_raise_clear_exceptions(call, error, message):
    with pytest.raises(error) as caught:
        call()
    assert message in str(caught.value)


def test_replacements_and_where_they_stand():
    done = kmv.convert("a©b😀".encode("utf-16-le"), "sjis", "utf-16le")
    assert done.data == b"a?b??"
    assert (done.unconvertible, done.first, done.last) == \
        (3, (2, 0xA9), (8, 0xDE00))
    assert kmv.encode("a©b", "sjis", errors="replace") == b"a?b"
    assert kmv.decode(b"abc\x93", "sjis", errors="replace") == "abc\ufffd"
    assert kmv.decode("😀".encode("utf-16-be"), "utf-16be") == "😀"


def test_names_and_aliases_of_the_tool():
    names = {"Shift_JIS": E.SJIS, "windows-31j": E.SJIS, "EUC3": E.EUC3,
             "eucjp-ms": E.EUC3, "cp20932": E.EUC1, "UTF_8_SIG": E.UTF8_BOM,
             "utf-16": E.UTF16LE_BOM, "ISO2022JP": E.JIS, "us-ascii": E.ASCII}
    assert {n: E(n) for n in names} == names
    assert E.EUC3.label == "EUC3(EUC-MS)"
    # plain UTF-16 as a source follows the mark
    assert kmv.decode(b"\xfe\xff\x30\x42", "utf-16") == "あ"


def test_undecided_text_guessed_among_its_candidates():
    found, best = kmv.detect(b"abcd"), kmv.guess(b"abcd")
    assert not found.decided and len(found.candidates) > 1
    assert best.encoding in found.candidates
    assert best.runner_up in found.candidates
    assert best.runner_up != best.encoding and 0 < best.confidence < 1


@pytest.mark.parametrize("name", SAMPLES)
def test_file_conversion_in_pieces_equals_the_whole(tmp_path, root, name):
    data = (root / f"samples/japanese.{name}.txt").read_bytes() * 3
    (tmp_path / "in").write_bytes(data)
    for target in ("sjis", "jis", "euc3", "utf-16", "utf-8-bom"):
        done = kmv.convert_file(tmp_path / "in", tmp_path / "out", target,
                                piece_size=97)
        assert (tmp_path / "out").read_bytes() == kmv.convert(data, target).data
        assert (done.bytes_in, done.source) == (len(data), SAMPLES[name])


def test_file_replaced_whole_or_not_at_all(tmp_path):
    path = tmp_path / "t"
    path.write_bytes("日本語\n".encode("euc_jp"))
    os.chmod(path, 0o640)
    kmv.convert_file(path, path, "utf-8")
    assert path.read_text(encoding="utf-8") == "日本語\n"
    assert os.stat(path).st_mode & 0o777 == 0o640
    path.write_bytes(b"abc\n\x93")
    with pytest.raises(kmv.Error, match="ends inside a character"):
        kmv.convert_file(path, path, "utf-8", "sjis", piece_size=2)
    assert path.read_bytes() == b"abc\n\x93"
    assert os.listdir(tmp_path) == ["t"]
