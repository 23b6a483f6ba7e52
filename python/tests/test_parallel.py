import hashlib
import os
import time
from concurrent.futures import ThreadPoolExecutor

import pytest

import kmv


def speedup(half):
    """Wall time of two threads each doing half, over one doing both."""
    def wall(jobs):
        start = time.perf_counter()
        with ThreadPoolExecutor(len(jobs)) as pool:
            list(pool.map(lambda job: job(), jobs))
        return time.perf_counter() - start
    return wall([half, half]) / wall([lambda: (half(), half())])


@pytest.mark.skipif((os.cpu_count() or 1) < 2, reason="needs two cores")
def test_two_threads_take_clearly_less_time_than_one(text):
    data = (text * 1500).encode("euc_jp")  # about 1.3 MB
    block = bytes(8 << 20)

    def kmv_half():
        for _ in range(40):
            kmv.decode(data, "euc-jp")
            kmv.detect(data)
            kmv._kmv.convert_in_pieces(data, 5, 15, 1 << 18, len)  # to UTF-8

    def reference_half():  # hashing also runs without the lock
        for _ in range(12):
            hashlib.sha256(block).digest()

    # The machine is shared: the best of a few tries counts, and only tries
    # in which a second core was free at all, as the reference shows.
    tries = []
    for _ in range(6):
        tries.append((speedup(reference_half), speedup(kmv_half)))
        if tries[-1][0] < 0.75 and tries[-1][1] < 0.75:
            break
    free = [ours for reference, ours in tries if reference < 0.75]
    if not free:
        pytest.skip(f"no second core free on this machine now: {tries}")
    assert min(free) < 0.8, tries
