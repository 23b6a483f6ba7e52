import enum
from typing import NamedTuple, Optional, Tuple, Union

from _typeshed import ReadableBuffer, StrPath

class Error(ValueError):
    status: Optional[int]
    offset: Optional[int]
    def __init__(self, message: str, status: Optional[int] = ...,
                 offset: Optional[int] = ...) -> None: ...

class Encoding(enum.IntEnum):
    ASCII: int
    JIS: int
    SJIS: int
    EUC: int
    EUC1: int
    EUC2: int
    EUC3: int
    UTF16BE: int
    UTF16BE_BOM: int
    UTF16LE: int
    UTF16LE_BOM: int
    UTF8: int
    UTF8_BOM: int
    @property
    def label(self) -> str: ...

EncodingLike = Union[Encoding, str]

class Unconvertible(NamedTuple):
    offset: int
    code: int

class Detection:
    encoding: Optional[Encoding]
    candidates: Tuple[Encoding, ...]
    raw: int
    @property
    def decided(self) -> bool: ...

class Guess:
    encoding: Optional[Encoding]
    confidence: float
    runner_up: Optional[Encoding]

class Conversion:
    data: bytes
    source: Optional[Encoding]
    target: Encoding
    unconvertible: int
    first: Optional[Unconvertible]
    last: Optional[Unconvertible]

class FileConversion:
    source: Optional[Encoding]
    target: Encoding
    decided: bool
    bytes_in: int
    bytes_out: int
    unconvertible: int
    first: Optional[Unconvertible]
    last: Optional[Unconvertible]

def detect(data: ReadableBuffer, expect: Optional[EncodingLike] = ...,
           ignore_hints: bool = ...) -> Detection: ...
def guess(data: ReadableBuffer,
          expect: Optional[EncodingLike] = ...) -> Guess: ...
def convert(data: ReadableBuffer, to: EncodingLike,
            source: Optional[EncodingLike] = ...) -> Conversion: ...
def decode(data: ReadableBuffer, encoding: Optional[EncodingLike] = ...,
           errors: str = ...) -> str: ...
def encode(text: str, encoding: EncodingLike, errors: str = ...) -> bytes: ...
def convert_file(src: StrPath, dst: StrPath, to: EncodingLike,
                 source: Optional[EncodingLike] = ...,
                 piece_size: int = ...) -> FileConversion: ...
