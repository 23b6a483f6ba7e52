"""Files converted piece by piece, each written whole or not at all."""

from __future__ import annotations

import contextlib
import mmap
import os
import stat
import tempfile
from typing import BinaryIO, Iterator, Optional

from . import (EncodingLike, FileConversion, _check, _code, _encoding, _kmv,
               _place, _source_of)

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


def convert_file(src: str, dst: str, to: EncodingLike,
                 source: Optional[EncodingLike] = None,
                 piece_size: int = PIECE_SIZE) -> FileConversion:
    """Converts the file ``src`` into ``dst`` in the encoding ``to``.

    The source is detected on the whole file unless named. The file is
    mapped, not read, and converted in pieces of ``piece_size`` bytes
    without the interpreter lock, so memory stays small whatever its size;
    the result is the same as :func:`convert` on the whole. ``dst`` is
    written beside itself and renamed into place (so ``dst`` may be
    ``src``): it is never left half written.
    """
    target = _encoding(to)
    with _mapped(os.fspath(src)) as text:
        src_enc, decided = _source_of(text, source)
        with atomic_output(os.fspath(dst)) as out:
            status, out_len, offset, count, first, last = \
                _kmv.convert_in_pieces(text, _code(src_enc), target.value,
                                       piece_size, out.write)
            _check(status, offset, src_enc, target)
        return FileConversion(src_enc, target, decided, len(text), out_len,
                              count, _place(first), _place(last))
