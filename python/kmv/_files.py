"""Files converted piece by piece, each written whole or not at all."""

from __future__ import annotations

import contextlib
import mmap
import os
import stat
import tempfile
from typing import BinaryIO, Iterator, Optional

from . import (Encoding, EncodingLike, FileConversion, _convert, _encoding,
               _kmv, _source_of)

PIECE_SIZE = 1 << 20


@contextlib.contextmanager
def atomic_output(path: str) -> Iterator[BinaryIO]:
    """A file beside ``path`` that replaces it only once all is written and
    synced; on any failure ``path`` is left as it was. A symbolic link stays
    a link to the new file; an existing file's permissions are kept."""
    path = os.path.realpath(path)
    fd, temporary = tempfile.mkstemp(prefix=".kmv-",
                                     dir=os.path.dirname(path))
    try:
        with os.fdopen(fd, "wb") as out:
            yield out
            out.flush()
            os.fsync(out.fileno())
        try:
            mode = stat.S_IMODE(os.stat(path).st_mode)
        except FileNotFoundError:
            umask = os.umask(0)
            os.umask(umask)
            mode = 0o666 & ~umask
        os.chmod(temporary, mode)
        os.replace(temporary, path)
    except BaseException:
        with contextlib.suppress(OSError):
            os.unlink(temporary)
        raise


@contextlib.contextmanager
def _mapped(path: str) -> Iterator[memoryview]:
    with open(path, "rb") as f:
        if os.fstat(f.fileno()).st_size == 0:
            yield memoryview(b"")
            return
        with mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ) as mapped:
            view = memoryview(mapped)
            try:
                yield view
            finally:
                view.release()


def _unmarked(e: Optional[Encoding]) -> Optional[Encoding]:
    """The form without a byte-order mark, for every piece but the first."""
    if e is not None and e.name.endswith("_BOM"):
        return Encoding[e.name[:-4]]
    return e


def convert_file(src: str, dst: str, to: EncodingLike,
                 source: Optional[EncodingLike] = None,
                 piece_size: int = PIECE_SIZE) -> FileConversion:
    """Converts the file ``src`` into ``dst`` in the encoding ``to``.

    The source is detected on the whole file unless named. The file is
    mapped, not read, and converted in pieces of about ``piece_size`` bytes
    cut at line ends, so memory stays small whatever its size; the result is
    the same as :func:`convert` on the whole. ``dst`` is written beside
    itself and renamed into place (so ``dst`` may be ``src``): it is never
    left half written.
    """
    target = _encoding(to)
    with _mapped(os.fspath(src)) as text:
        src_enc, decided = _source_of(text, source)
        out_len = count = 0
        first = last = None
        with atomic_output(os.fspath(dst)) as out:
            start = 0
            piece_to, piece_from = target, src_enc
            while True:
                end = start + _kmv.piece_end(
                    text[start:], 0 if src_enc is None else src_enc.value,
                    piece_size)
                with text[start:end] as piece:  # no export outlives the map
                    done = _convert(piece, piece_to, piece_from, start)
                out.write(done.data)
                out_len += len(done.data)
                count += done.unconvertible
                first = first or done.first
                last = done.last or last
                if end >= len(text):
                    break
                start = end
                piece_to, piece_from = _unmarked(target), _unmarked(src_enc)
        return FileConversion(src_enc, target, decided, len(text), out_len,
                              count, first, last)

