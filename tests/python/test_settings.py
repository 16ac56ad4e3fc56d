"""Keyword arguments: their defaults are the command line's, and a refused one is refused in the library's
(or the command line's) words, naming the value as given, however large."""
import inspect

import numpy as np
import pytest

from conftest import run_cli, texsynth

RANGE = "expected a whole number from"
# Each row: keyword arguments, the error, its exact message.
REFUSED = [
    ({"passes": 0}, ValueError, f"passes: {RANGE} 1 to 16, got 0"),
    ({"passes": 17}, ValueError, f"passes: {RANGE} 1 to 16, got 17"),
    ({"passes": 10 ** 20}, ValueError, f"passes: {RANGE} 1 to 16, got 100000000000000000000"),
    ({"levels": 5}, ValueError, f"levels: {RANGE} 1 to 4 (or 0: chosen), got 5"),
    ({"levels": -(2 ** 40)}, ValueError, f"levels: {RANGE} 1 to 4 (or 0: chosen), got -1099511627776"),
    ({"k": 17}, ValueError, f"k: {RANGE} 0 to 16, got 17"),
    ({"threads": 65}, ValueError, f"threads: {RANGE} 1 to 64 (or 0: one per core), got 65"),
    ({"threads": -1}, ValueError, f"threads: {RANGE} 1 to 64 (or 0: one per core), got -1"),
    ({"levels": 2 ** 31, "passes": 2 ** 32}, ValueError, f"levels: {RANGE} 1 to 4 (or 0: chosen), got 2147483648"),
    ({"seed": -1}, ValueError, "seed: expected a whole number from 0 to 4294967295, got -1"),
    ({"seed": 2 ** 32}, ValueError, "seed: expected a whole number from 0 to 4294967295, got 4294967296"),
    ({"match": "fast"}, ValueError, "match: expected \"approximate\", \"exact\", \"coherent\" or \"refined\", got 'fast'"),
    ({"match": None}, TypeError, "match: expected \"approximate\", \"exact\", \"coherent\" or \"refined\", got None"),
    ({"passes": 2.0}, TypeError, "passes: expected a whole number, got 2.0"),
    ({"passes": "2"}, TypeError, "passes: expected a whole number, got '2'"),
    ({"k": True}, TypeError, "k: expected a whole number, got True"),
    ({"seed": 1.5}, TypeError, "seed: expected a whole number, got 1.5"),
    ({"half_sizes": [2, 1, 1]}, ValueError,
     "half_sizes: expected L x L half-sizes from 0 to 64 (1, 4, 9 or 16 of them, or an L x L array), got 3"),
    ({"half_sizes": np.ones((2, 3), int)}, ValueError, "half_sizes: expected L x L half-sizes from 0 to 64 "
     "(1, 4, 9 or 16 of them, or an L x L array), got an array of shape (2, 3)"),
    ({"half_sizes": [2.0, 1.0, 0.0, 2.0]}, TypeError, "half_sizes: expected whole numbers, got an array of float64"),
    ({"half_sizes": [2, 1, 1, 0, 2, 1, 0, 0, 2], "levels": 2}, ValueError,
     "half_sizes: 9 half-sizes make 3 levels, but levels=2"),
    ({"half_sizes": [2, 65, 0, 2]}, ValueError, f"half-size m01: {RANGE} 0 to 64, got 65"),
    # Entries below the diagonal are not read; the first entry read that is out of range is named.
    ({"half_sizes": [2, 1, 2 ** 40, 2 ** 33]}, ValueError, f"half-size m11: {RANGE} 0 to 64, got 8589934592"),
]


@pytest.mark.parametrize("keywords, error, message", REFUSED, ids=[m for _, _, m in REFUSED])
def test_refused_settings_are_named_in_words(small, keywords, error, message):
    with pytest.raises(error) as refusal:
        texsynth.synthesize(small, (16, 16), **keywords)
    assert str(refusal.value) == message


@pytest.mark.parametrize("size, error, message", [
    ((0, 5), ValueError, "output size: 0x5 is empty; width and height must be at least 1"),
    ((2 ** 40, 5), ValueError, "output size: 1099511627776x5 is too large: its pyramid would take more than "
                               "2147483647 bytes (W x H up to about 536 million pixels)"),
    ((3, -2 ** 40), ValueError, "output size: 3x-1099511627776 is empty; width and height must be at least 1"),
    (16, TypeError, "size: expected (width, height), got 16"),
    ((16, 16, 3), TypeError, "size: expected (width, height), got (16, 16, 3)"),
    ("16", TypeError, "size: expected (width, height), got '16'"),
    ((16, 1.5), TypeError, "size: expected a whole number, got 1.5"),
])
def test_refused_sizes_are_named_in_words(small, size, error, message):
    with pytest.raises(error) as refusal:
        texsynth.synthesize(small, size)
    assert str(refusal.value) == message


def test_numpy_integers_and_sequences_are_whole_numbers(small):
    expected = texsynth.synthesize(small, (20, 12), passes=1, levels=2, seed=9)
    given = texsynth.synthesize(small, np.array([20, 12]), passes=np.int8(1), levels=np.uint64(2),
                                seed=np.int64(9))
    assert np.array_equal(given, expected)
    assert np.array_equal(texsynth.synthesize(small, [20, 12], passes=1, levels=0, seed=9, threads=0),
                          texsynth.synthesize(small, (20, 12), passes=1, seed=9))


# Refusals that the library makes for both front ends read the same, with the file's name for "exemplar".
@pytest.mark.parametrize("keywords, options, size", [
    ({"half_sizes": [2, 1, 0, 0]}, ["--half-sizes=2,1,0,0"], (16, 16)),
    ({"levels": 4}, ["--levels=4"], (16, 16)),
    ({"levels": 1, "half_sizes": [30]}, ["--half-sizes=30"], (16, 16)),
    ({"levels": 3}, ["--levels=3"], (2 ** 20, 2 ** 20)),
])
def test_refusals_read_as_the_command_line_prints_them(tmp_path, small, keywords, options, size):
    texsynth.write_image(tmp_path / "small.png", small)
    status, _, err = run_cli(*options, f"--size={size[0]}x{size[1]}", "--output=o.png", "small.png", cwd=tmp_path)
    assert status in (1, 2)
    line = err.splitlines()[0].replace("texsynth: small.png: ", "texsynth: exemplar: ")
    with pytest.raises(ValueError) as refusal:
        texsynth.synthesize(small, size, **keywords)
    assert "texsynth: " + str(refusal.value) == line


def test_the_defaults_are_the_command_line_finished_file_defaults():
    # The module takes them from the library, where the command line's --output form takes them too; the
    # pixels of the cases in test_synthesize.py confirm that both use them.
    positional = {texsynth.synthesize: ["exemplar", "size"], texsynth.fill: ["image", "mask"],
                  texsynth.make_tileable: ["image"], texsynth.extend: ["image", "border"]}
    for function, arguments in positional.items():
        parameters = inspect.signature(function).parameters
        assert [p.name for p in parameters.values() if p.kind is p.POSITIONAL_OR_KEYWORD] == arguments
        # Filling, tiling and growing take more passes, as --mask, --make-tileable and --extend do.
        passes = 3 if function is texsynth.synthesize else 5
        assert {name: parameters[name].default for name in
                ("seed", "match", "passes", "levels", "half_sizes", "k", "threads", "return_map")} == {
            "seed": None, "match": "refined", "passes": passes, "levels": None, "half_sizes": None, "k": 0,
            "threads": None, "return_map": False}
