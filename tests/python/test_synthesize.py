"""synthesize and apply_map give, byte for byte, what the command line writes with the same settings."""
import re

import numpy as np
import pytest
from PIL import Image

import plain_png
from conftest import SOURCE_DIR, run_cli, texsynth

DEMO = SOURCE_DIR / "demo" / "demo2.bmp"


def cli_texture(tmp_path, options, exemplar=DEMO, output="out.png"):
    """The command line's texture and source map (decoded by Pillow and by the plain PNG decoder)."""
    status, _, err = run_cli(*options, "--save-map=map.png", f"--output={output}", exemplar, cwd=tmp_path)
    assert status == 0, err
    source_map = plain_png.decode(tmp_path / "map.png")
    assert source_map.dtype == np.uint16 and (source_map[..., 2] == 0).all()
    return np.asarray(Image.open(tmp_path / output)), source_map[..., :2]


# Each row: the module's keyword arguments and the same settings as the command line's options.
SETTINGS = [
    ({}, []),
    ({"seed": 7}, ["--seed=7"]),
    ({"seed": 4294967295, "threads": 1}, ["--seed=4294967295", "--threads=1"]),
    ({"match": "exact", "passes": 1, "levels": 2}, ["--match=exact", "--passes=1", "--levels=2"]),
    ({"k": 3, "half_sizes": [3, 1, 0, 2]}, ["--k=3", "--half-sizes=3,1,0,2"]),
    ({"half_sizes": np.array([[2, 1, 1], [0, 2, 1], [0, 0, 1]]), "levels": 3}, ["--half-sizes=2,1,1,0,2,1,0,0,1"]),
    ({"match": "approximate", "levels": 2, "passes": 1}, ["--match=approximate", "--levels=2", "--passes=1"]),
]


@pytest.mark.parametrize("keywords, options", SETTINGS, ids=lambda v: repr(v) if isinstance(v, list) else None)
def test_the_texture_and_its_map_are_those_of_the_command_line(tmp_path, demo, keywords, options):
    # The slower settings on a smaller exemplar.
    exemplar = demo if not keywords.get("k") and keywords.get("match") != "approximate" else demo[:64, 32:96]
    texsynth.write_image(tmp_path / "exemplar.bmp", exemplar)
    texture, source_map = texsynth.synthesize(exemplar, (48, 40), return_map=True, **keywords)
    cli_pixels, cli_map = cli_texture(tmp_path, ["--size=48x40", *options], exemplar="exemplar.bmp")
    assert texture.shape == (40, 48, 3) and texture.dtype == np.uint8
    assert np.array_equal(texture, cli_pixels)
    assert source_map.shape == (40, 48, 2) and source_map.dtype == np.uint16
    assert np.array_equal(source_map, cli_map)
    # Without the map, the same texture; the map samples the exemplar into it.
    assert np.array_equal(texsynth.synthesize(exemplar, (48, 40), **keywords), texture)
    assert np.array_equal(exemplar[source_map[..., 1], source_map[..., 0]], texture)


def test_a_bmp_output_holds_the_same_pixels(tmp_path, demo):
    cli_pixels, _ = cli_texture(tmp_path, ["--size=33x17"], output="out.bmp")
    assert np.array_equal(texsynth.synthesize(demo, (33, 17)), cli_pixels)


def test_transparency_is_carried_as_the_command_line_carries_it(tmp_path, transparent):
    texsynth.write_image(tmp_path / "rgba.png", transparent)
    texture = texsynth.synthesize(transparent, (40, 32), seed=3)
    cli_pixels, _ = cli_texture(tmp_path, ["--size=40x32", "--seed=3"], exemplar="rgba.png")
    assert texture.shape == (32, 40, 4)
    assert np.array_equal(texture, cli_pixels)
    # Alpha takes no part in matching: the colours are those of the exemplar without it.
    assert np.array_equal(texture[..., :3], texsynth.synthesize(np.ascontiguousarray(transparent[..., :3]),
                                                                (40, 32), seed=3))


def test_a_grey_exemplar_gives_what_the_command_line_makes_of_a_grey_file(tmp_path, demo):
    grey = demo[..., 1].copy()
    Image.fromarray(grey, mode="L").save(tmp_path / "grey.png")
    texture = texsynth.synthesize(grey, (36, 28))
    cli_pixels, _ = cli_texture(tmp_path, ["--size=36x28"], exemplar="grey.png")
    assert texture.shape == (28, 36)
    assert (cli_pixels == cli_pixels[..., :1]).all()  # R = G = B
    assert np.array_equal(texture, cli_pixels[..., 0])


def test_apply_map_gives_what_apply_map_writes(tmp_path, demo):
    _, source_map = texsynth.synthesize(demo, (40, 30), seed=11, return_map=True)
    # A second picture of the exemplar's size, as a normal map would be.
    other = np.ascontiguousarray(255 - demo[::-1])
    texsynth.write_image(tmp_path / "other.png", other)
    texsynth.write_source_map(tmp_path / "map.png", source_map)
    status, _, err = run_cli("--apply-map=map.png", "--output=applied.png", "other.png", cwd=tmp_path)
    assert status == 0, err
    applied = texsynth.apply_map(other, source_map)
    assert np.array_equal(applied, np.asarray(Image.open(tmp_path / "applied.png")))
    assert np.array_equal(applied, other[source_map[..., 1], source_map[..., 0]])


def test_apply_map_refuses_a_map_that_reaches_outside_the_image(tmp_path, small):
    source_map = np.zeros((3, 4, 2), np.uint16)
    source_map[2, 1] = (40, 0)  # one past the last column of the 40 x 32 image
    texsynth.write_source_map(tmp_path / "map.png", source_map)
    texsynth.write_image(tmp_path / "small.png", small)
    status, _, err = run_cli("--apply-map=map.png", "--output=o.png", "small.png", cwd=tmp_path)
    assert status == 1
    why = "pixel (1, 2) points at (40, 0), outside the 40x32 image"
    assert err == f"texsynth: map.png: {why}\n"
    with pytest.raises(ValueError, match=rf"^source map: {re.escape(why)}$"):
        texsynth.apply_map(small, source_map)
