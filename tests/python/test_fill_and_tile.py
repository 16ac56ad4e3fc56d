"""fill, make_tileable and extend: their arguments, and their results against the command line's --mask,
--make-tileable and --extend."""
import numpy as np
import pytest
from PIL import Image

from conftest import run_cli, texsynth

@pytest.fixture
def hole(small):
    mask = np.zeros(small.shape[:2], bool)
    mask[10:20, 12:30] = True
    return mask


def test_a_filled_picture_keeps_what_the_mask_leaves(small, hole):
    filled, source_map = texsynth.fill(small, hole, return_map=True)
    assert filled.shape == small.shape and source_map.shape == small.shape[:2] + (2,)
    assert np.array_equal(filled[~hole], small[~hole])
    y, x = np.nonzero(~hole)
    assert np.array_equal(source_map[~hole], np.stack([x, y], axis=1))
    # A uint8 mask of any non-zero values is the same mask.
    assert np.array_equal(texsynth.fill(small, hole.astype(np.uint8) * 7), filled)


def test_a_tileable_picture_keeps_its_size(small):
    tiled = texsynth.make_tileable(small)
    assert tiled.shape == small.shape


def test_fill_gives_what_the_command_line_writes(tmp_path, small, hole):
    texsynth.write_image(tmp_path / "picture.png", small)
    Image.fromarray(hole.astype(np.uint8) * 255).save(tmp_path / "mask.png")
    status, _, err = run_cli("--mask=mask.png", "--output=filled.png", "picture.png", cwd=tmp_path)
    assert status == 0, err
    assert np.array_equal(texsynth.fill(small, hole), np.asarray(Image.open(tmp_path / "filled.png")))


def test_make_tileable_gives_what_the_command_line_writes(tmp_path, small):
    texsynth.write_image(tmp_path / "picture.png", small)
    status, _, err = run_cli("--make-tileable", "--output=tiled.png", "picture.png", cwd=tmp_path)
    assert status == 0, err
    assert np.array_equal(texsynth.make_tileable(small), np.asarray(Image.open(tmp_path / "tiled.png")))


MASK_SHAPE = "mask: expected an array of shape (height, width), got shape "


@pytest.mark.parametrize("mask, error, message", [
    (np.zeros((32, 40), np.float64), TypeError, "mask: expected bool or uint8 (non-zero: replace), got an array of float64"),
    (np.zeros((32, 40), np.int32), TypeError, "mask: expected bool or uint8 (non-zero: replace), got an array of int32"),
    (np.zeros((32, 40, 3), bool), ValueError, MASK_SHAPE + "(32, 40, 3)"),
    (np.zeros(40, bool), ValueError, MASK_SHAPE + "(40,)"),
    (np.zeros((40, 32), bool), ValueError, "mask: is 32x40, but the image is 40x32; a mask has the image's size"),
])
def test_fill_refuses_a_mask_that_does_not_fit(small, mask, error, message):
    with pytest.raises(error) as refusal:
        texsynth.fill(small, mask)
    assert str(refusal.value) == message


def test_fill_and_tile_refuse_what_is_not_a_picture(small, hole):
    why = "expected uint8 pixels (0 to 255), got an array of float32"
    for call, subject in [(lambda: texsynth.fill(small.astype(np.float32), hole), "image"),
                          (lambda: texsynth.fill(small, hole, exemplar=small.astype(np.float32)), "exemplar"),
                          (lambda: texsynth.make_tileable(small.astype(np.float32)), "image")]:
        with pytest.raises(TypeError) as refusal:
            call()
        assert str(refusal.value) == f"{subject}: {why}"
    with pytest.raises(TypeError) as refusal:
        texsynth.make_tileable(small, band=2.5)
    assert str(refusal.value) == "band: expected a whole number, got 2.5"
    with pytest.raises(TypeError) as refusal:
        texsynth.fill(small, hole, passes="2")
    assert str(refusal.value) == "passes: expected a whole number, got '2'"


def test_fill_and_tile_arguments_reach_the_library(small, hole):
    # Arrays of any layout are read as they are meant: the same results as from plain copies.
    filled = texsynth.fill(np.asfortranarray(small), hole.T.copy().T, exemplar=small[::-1], seed=3)
    assert np.array_equal(filled, texsynth.fill(small.copy(), hole.copy(), exemplar=small[::-1].copy(), seed=3))
    grey = texsynth.make_tileable(small[..., 0], band=4, match="exact")
    assert grey.shape == small.shape[:2]
    with pytest.raises(ValueError) as refusal:
        texsynth.fill(small, hole, match="approximate")
    assert str(refusal.value).startswith("match: the kd-tree search (approximate) cannot leave pixels out")


def test_extend_gives_what_the_command_line_writes(tmp_path, small):
    texsynth.write_image(tmp_path / "picture.png", small)
    status, _, err = run_cli("--extend=3,0,5,2", "--output=grown.png", "picture.png", cwd=tmp_path)
    assert status == 0, err
    grown, source_map = texsynth.extend(small, (3, 0, 5, 2), return_map=True)
    assert np.array_equal(grown, np.asarray(Image.open(tmp_path / "grown.png")))
    assert grown.shape == (34, 48, 3) and np.array_equal(grown[0:32, 3:43], small)
    assert np.array_equal(texsynth.apply_map(small, source_map), grown)
    # An int grows every side by as much.
    assert texsynth.extend(small, 4, seed=2).shape == (40, 48, 3)
    for border, error, message in [
            (2.5, TypeError, "border: expected a whole number, got 2.5"),
            ((1, 2), ValueError, "border: expected a whole number or (left, top, right, bottom), got (1, 2)"),
            ((41, 0, 0, 0), ValueError, "border: the left side: expected from 0 to 40 pixels"),
            (2**40, ValueError, f"border: the left side: expected from 0 to 40 pixels (at most the picture's width), "
                                f"got {2**40}")]:
        with pytest.raises(error) as refusal:
            texsynth.extend(small, border)
        assert str(refusal.value).startswith(message)
