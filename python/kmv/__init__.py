"""Detection and conversion of Japanese text encodings.

ISO-2022-JP, Shift_JIS (code page 932), EUC-JP and three of its variants,
UTF-16BE/LE and UTF-8 (each with or without a byte-order mark) and ASCII::

    >>> import kmv
    >>> data = "日本語のテキスト".encode("cp932")
    >>> kmv.guess(data).encoding
    <Encoding.SJIS: 4>
    >>> kmv.decode(data)
    '日本語のテキスト'
    >>> kmv.convert(data, "utf-8").data.decode()
    '日本語のテキスト'

Any bytes-like object (bytes, bytearray, memoryview, mmap) is read in place,
and the library works without holding the interpreter lock, so threads run
in parallel. Failures raise :class:`Error`, a :class:`ValueError`.
"""

from __future__ import annotations

import enum
from dataclasses import dataclass
from typing import NamedTuple, Optional, Tuple, Union

from . import _kmv

__all__ = [
    "Conversion", "Detection", "Encoding", "Error", "FileConversion",
    "Guess", "Unconvertible", "convert", "convert_file", "decode", "detect",
    "encode", "guess",
]


class Error(ValueError):
    """A failure of kmv, with the command-line tool's text.

    ``status`` is the library's status code where there is one, ``offset``
    the place in the input that the failure concerns (a byte offset, or a
    character index for :func:`encode`), else None.
    """

    def __init__(self, message: str, status: Optional[int] = None,
                 offset: Optional[int] = None) -> None:
        super().__init__(message)
        self.status = status
        self.offset = offset


class Encoding(enum.IntEnum):
    """An encoding of the library; the values are its type codes.

    ``Encoding("cp932")`` takes every name and alias the command-line tool
    takes (``kmv list``), in any case, with or without ``-`` and ``_``.
    """

    ASCII = 1
    JIS = 2
    SJIS = 4
    EUC = 5
    EUC1 = 6
    EUC2 = 7
    EUC3 = 8
    UTF16BE = 11
    UTF16BE_BOM = 12
    UTF16LE = 13
    UTF16LE_BOM = 14
    UTF8 = 15
    UTF8_BOM = 16

    @classmethod
    def _missing_(cls, value: object) -> "Encoding":
        if isinstance(value, str):
            code = _kmv.parse_encoding(value)
            if code is not None:
                return cls(code)
        raise Error(f"unknown encoding {value!r} (see 'kmv list')")

    @property
    def label(self) -> str:
        """The library's own name: ``"SJIS"``, ``"EUC3(EUC-MS)"``, ..."""
        return _kmv.encoding_name(self.value)


EncodingLike = Union[Encoding, str]


class Unconvertible(NamedTuple):
    """Where a character without a place in the target stood in the input,
    and its code there (a code point for Unicode sources)."""

    offset: int
    code: int


@dataclass(frozen=True)
class Detection:
    """What the detector found: ``encoding`` when it decided or left a
    single candidate (as ``kmv detect`` prints it), and the ``candidates``
    that remain (none when nothing fits or the text is empty). ``raw`` is
    the library's own answer."""

    encoding: Optional[Encoding]
    candidates: Tuple[Encoding, ...]
    raw: int

    @property
    def decided(self) -> bool:
        """One encoding was named."""
        return self.encoding is not None


@dataclass(frozen=True)
class Guess:
    """The most likely encoding, how sure the guess is (0 to 1), and the
    next most likely one."""

    encoding: Optional[Encoding]
    confidence: float
    runner_up: Optional[Encoding]


@dataclass(frozen=True)
class Conversion:
    """A converted text and what could not be converted: the characters
    written as a replacement (``?``), with the first and the last."""

    data: bytes
    source: Optional[Encoding]
    target: Encoding
    unconvertible: int
    first: Optional[Unconvertible]
    last: Optional[Unconvertible]


@dataclass(frozen=True)
class FileConversion:
    """What :func:`convert_file` did. ``decided`` is True when the source
    was named or decided, False when it was guessed (or the only candidate
    the detector left)."""

    source: Optional[Encoding]
    target: Encoding
    decided: bool
    bytes_in: int
    bytes_out: int
    unconvertible: int
    first: Optional[Unconvertible]
    last: Optional[Unconvertible]


def _encoding(value: Optional[EncodingLike]) -> Optional[Encoding]:
    if value is None or isinstance(value, Encoding):
        return value
    if isinstance(value, str):
        return Encoding(value)
    raise TypeError("an encoding must be a str or kmv.Encoding, not "
                    f"{type(value).__name__!r}")


def _source(value: EncodingLike, data) -> Encoding:
    """A named source; plain "UTF-16" follows the text's mark."""
    named = _encoding(value)
    plain_utf16 = isinstance(value, str) and \
        value.lower().replace("-", "").replace("_", "") == "utf16"
    if plain_utf16 and bytes(memoryview(data)[:2]) == b"\xfe\xff":
        return Encoding.UTF16BE_BOM
    return named


def _code(value: Optional[EncodingLike]) -> int:
    named = _encoding(value)
    return 0 if named is None else named.value


def detect(data, expect: Optional[EncodingLike] = None,
           ignore_hints: bool = False) -> Detection:
    """The encoding of ``data``, or the candidates that remain.

    ``expect`` is preferred when the evidence leaves several; with
    ``ignore_hints`` the bytes alone decide (no preferred encoding, no kana
    preference, no zero-byte rule).
    """
    raw = _kmv.detect(data, _code(expect), bool(ignore_hints))
    candidates = tuple(Encoding(c) for c in _kmv.candidates(raw))
    single = candidates[0] if len(candidates) == 1 else None
    return Detection(single, candidates, raw)


def _known(code: int) -> Optional[Encoding]:
    return Encoding(code) if code > 0 else None


def guess(data, expect: Optional[EncodingLike] = None) -> Guess:
    """The most likely encoding of ``data``, even where :func:`detect`
    leaves several candidates: each is weighed by how Japanese text is made.
    A decided answer of :func:`detect` is the guess, with confidence 1. The
    encoding is None when nothing fits or the text is empty."""
    code, runner_up, confidence, _ = _kmv.guess(data, _code(expect))
    return Guess(_known(code), confidence, _known(runner_up))


def _source_of(data, source: Optional[EncodingLike]):
    """The source encoding, and whether it was named or decided."""
    if source is not None:
        return _source(source, data), True
    if len(data) == 0:
        return None, True
    found = detect(data)
    if found.decided:
        return found.encoding, 0 < found.raw < _kmv.MASK_MIN
    best = guess(data).encoding
    if best is None:
        raise Error("no supported encoding fits the text (name the source "
                    "encoding)", -1)
    return best, False


def _place(place) -> Optional[Unconvertible]:
    return None if place is None else Unconvertible(*place)


def _check(status: int, offset, source: Optional[Encoding],
           target: Optional[Encoding]) -> None:
    if status == 0:
        return
    if status == _kmv.ECTYPE:
        src = source.label if source else "Unknown"
        dst = target.label if target else "Unicode"
        raise Error(f"cannot convert {src} to {dst}", status)
    text = _kmv.status_text(status)
    if offset is not None and source is not None:
        text += f" ({source.label}, at byte {offset})"
    raise Error(text, status, offset)


def _unconvertible_error(count: int, first, source: Optional[Encoding],
                         target: str, unit: str) -> Error:
    unicode = source is None or source >= Encoding.UTF16BE
    code = f"U+{first[1]:04X}" if unicode else f"0x{first[1]:X}"
    plural = "character" if count == 1 else "characters"
    return Error(f"{count} {plural} cannot be written in {target}; the first "
                 f"at {unit} {first[0]} ({code})", None, first[0])


def _errors(errors: str) -> bool:
    if errors not in ("strict", "replace"):
        raise ValueError(f"errors must be 'strict' or 'replace', not "
                         f"{errors!r}")
    return errors == "strict"


def convert(data, to: EncodingLike,
            source: Optional[EncodingLike] = None) -> Conversion:
    """``data`` converted into the encoding ``to``.

    The source is detected unless named; when the detector leaves several
    candidates the best guess is taken, as the command-line tool does.
    Characters the target cannot hold are written as ``?`` (``？`` in
    ISO-2022-JP) and counted. A Unicode source is taken with or without its
    mark as the text shows; the target gets a mark exactly when it is a
    ``_BOM`` form.
    """
    target = _encoding(to)
    if target is None:
        raise TypeError("convert() needs a target encoding")
    with memoryview(data) as view:
        src = _source_of(view, source)[0]
        status, out, offset, count, first, last = _kmv.convert(
            view, _code(src), target.value)
    _check(status, offset, src, target)
    return Conversion(out, src, target, count, _place(first), _place(last))


def decode(data, encoding: Optional[EncodingLike] = None,
           errors: str = "strict") -> str:
    """``data`` as a str; its encoding is detected unless named.

    With ``errors="strict"`` a character without a Unicode equivalent, or a
    text that ends inside a character, raises :class:`Error`; with
    ``"replace"`` the former becomes ``?`` and the latter ``\\ufffd``. A
    byte-order mark is dropped.
    """
    strict = _errors(errors)
    with memoryview(data) as view:
        src, _ = _source_of(view, encoding)
        if src is None:
            return ""
        status, text, offset, count, first, _ = _kmv.decode(view, src.value)
        if status == _kmv.EUEXPEOD and not strict:
            return _kmv.decode(view[:offset], src.value)[1] + "\ufffd"
    _check(status, offset, src, None)
    if strict and count:
        raise _unconvertible_error(count, first, src, "Unicode", "byte")
    return text


def encode(text: str, encoding: EncodingLike, errors: str = "strict") -> bytes:
    """``text`` in ``encoding``.

    With ``errors="strict"`` a character the encoding cannot hold raises
    :class:`Error` (its ``offset`` the index in ``text``); with
    ``"replace"`` it is written as ``?``. A leading U+FEFF is taken as a
    byte-order mark; a ``_BOM`` target gets one. The library works on
    16-bit units: a character beyond the Basic Multilingual Plane is two
    units (two replacements in the Japanese encodings; UTF-8 and UTF-16
    carry it whole).
    """
    if not isinstance(text, str):
        raise TypeError(f"encode() wants a str, not {type(text).__name__!r}")
    strict = _errors(errors)
    target = _encoding(encoding)
    status, out, offset, count, first, _ = _kmv.encode(text, target.value)
    if status != 0:
        raise Error(f"{_kmv.status_text(status)} (at index {offset})",
                    status, offset)
    if strict and count:
        raise _unconvertible_error(count, first, None, target.label, "index")
    return out


from ._files import convert_file  # noqa: E402  (uses the names above)
