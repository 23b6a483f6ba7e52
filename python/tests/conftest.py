import pathlib

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]


@pytest.fixture(scope="session")
def root() -> pathlib.Path:
    return ROOT


@pytest.fixture(scope="session")
def text() -> str:
    """The sample text, in JIS X 0208 characters only: every encoding holds
    it, and Python's codecs agree with the library on every byte."""
    return (ROOT / "samples/japanese.utf-8.txt").read_text(encoding="utf-8")
