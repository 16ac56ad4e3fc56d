"""Calls keep no references and no memory behind: not on success, not on refusal, not on the way out."""
import gc
import sys

import numpy as np
import pytest

from conftest import texsynth


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * 4096


def test_arguments_are_not_kept(small):
    source_map = np.zeros((4, 4, 2), np.uint16)
    match, seed = "exact", 123456789
    before = [sys.getrefcount(value) for value in (small, source_map, match, seed)]
    for _ in range(50):
        texsynth.synthesize(small, (16, 16), match=match, seed=seed, levels=2, return_map=True)
        texsynth.apply_map(small, source_map)
        with pytest.raises(ValueError):
            texsynth.synthesize(small, (16, 16), match=match, seed=seed, passes=0)
    assert [sys.getrefcount(value) for value in (small, source_map, match, seed)] == before


def test_results_free_their_buffers(small):
    _, source_map = texsynth.synthesize(small, (512, 512), return_map=True)  # 768 KiB of pixels a result

    def round_of_calls():
        for _ in range(60):
            texsynth.apply_map(small, source_map)
            texsynth.synthesize(small, (16, 16), levels=2, threads=1, return_map=True)
            with pytest.raises(ValueError):
                texsynth.apply_map(small[:4], source_map)  # refused after the arrays are copied

    round_of_calls()  # the allocator settles
    gc.collect()
    before = resident_bytes()
    round_of_calls()
    gc.collect()
    # Kept results would hold over 45 MiB more; allow for the allocator's own slack.
    assert resident_bytes() - before < 8 * 2 ** 20
