"""What is made where, through the module: one case of each kind gives the command line's bytes, and the
module's own arguments are read as documented."""
import numpy as np
import pytest

from conftest import SOURCE_DIR, run_cli, texsynth

EXEMPLARS = SOURCE_DIR / "bench" / "exemplars"


@pytest.fixture(scope="module")
def pictures():
    stone = texsynth.read_image(EXEMPLARS / "stone.png")[:64, :64]
    grass = texsynth.read_image(EXEMPLARS / "grass.png")[:64, :64]
    # A two-material exemplar and its guide: stone on the left half, grass on the right.
    two = np.concatenate([stone[:, :32], grass[:, 32:]], axis=1)
    guide = np.zeros((64, 64), np.uint8)
    guide[:, :32] = 255
    target = np.zeros((48, 64), np.uint8)
    target[12:36, 16:48] = 255
    mask = np.zeros((64, 64), bool)
    mask[8:40, 8:40] = True
    return {"stone": stone, "grass": grass, "two": two, "guide": guide, "target": target, "mask": mask}


def write(tmp_path, **arrays):
    for name, array in arrays.items():
        texsynth.write_image(tmp_path / f"{name}.png", array)


# Each case: the module's call and the command line's options, on the same pictures.
CASES = {
    "several exemplars": (lambda p: texsynth.synthesize([p["stone"], p["grass"]], (40, 32), return_map=True),
                          ["--size=40x32", "stone.png", "grass.png"]),
    "sample mask": (lambda p: texsynth.synthesize(p["stone"], (40, 32), sample_masks=[p["mask"]], return_map=True),
                    ["--size=40x32", "--sample-mask=mask.png", "stone.png"]),
    "guides": (lambda p: texsynth.synthesize(p["two"], guides=[p["guide"]], target_guide=p["target"],
                                             guide_weight=0.5, return_map=True),
               ["--guide=guide.png", "--target-guide=target.png", "--guide-weight=0.5", "two.png"]),
    "transfer": (lambda p: texsynth.transfer(p["stone"], p["two"][:40, :48], return_map=True),
                 ["--transfer=target-picture.png", "stone.png"]),
    "structure map": (lambda p: texsynth.synthesize(p["stone"], (40, 32), match_also=[(p["grass"], 2)],
                                                    return_map=True),
                      ["--size=40x32", "--match-also=grass.png:2", "stone.png"]),
}


@pytest.mark.parametrize("case", CASES)
def test_each_kind_gives_the_command_lines_bytes(tmp_path, pictures, case):
    call, options = CASES[case]
    write(tmp_path, **{k: v for k, v in pictures.items() if k != "mask"})
    texsynth.write_image(tmp_path / "target-picture.png", pictures["two"][:40, :48])
    texsynth.write_image(tmp_path / "mask.png", pictures["mask"].astype(np.uint8) * 255)
    result, source_map = call(pictures)
    inputs = [o for o in options if not o.startswith("--")]
    flags = [o for o in options if o.startswith("--")]
    status, _, err = run_cli(*flags, "--save-map=map.png", "--output=out.png", *inputs, cwd=tmp_path)
    assert status == 0, err
    assert np.array_equal(texsynth.read_image(tmp_path / "out.png"), result)
    assert np.array_equal(texsynth.read_source_map(tmp_path / "map.png"), source_map)


def test_a_remix_uses_every_exemplar_and_its_map_applies(pictures):
    exemplars = [pictures["stone"], pictures["grass"]]
    texture, source_map = texsynth.synthesize(exemplars, (96, 96), return_map=True)
    assert source_map.shape == (96, 96, 3)
    assert set(np.unique(source_map[..., 2])) == {0, 1}
    assert np.array_equal(texsynth.apply_map(exemplars, source_map), texture)
    with pytest.raises(ValueError, match="picture 2 .* but 1 is given"):
        texsynth.apply_map(exemplars[:1], source_map)


def test_bad_arguments_are_refused_in_the_command_lines_words(pictures):
    stone = pictures["stone"]
    with pytest.raises(ValueError, match="sample mask: allows no pixel to be copied"):
        texsynth.synthesize(stone, (16, 16), sample_masks=[np.zeros((64, 64), bool)])
    with pytest.raises(ValueError, match=r"sample_masks\[0\]: is 8x8"):
        texsynth.synthesize(stone, (16, 16), sample_masks=[np.ones((8, 8), bool)])
    with pytest.raises(ValueError, match="target guide: needs a guide of every exemplar"):
        texsynth.synthesize(stone, target_guide=pictures["target"])
    with pytest.raises(ValueError, match=r"guide: is 64x48, not the size of the exemplar \(64x64\)"):
        texsynth.synthesize(stone, guides=[pictures["target"]], target_guide=pictures["target"])
    with pytest.raises(ValueError, match="guides: expected one for every exemplar"):
        texsynth.synthesize([stone, stone], guides=[pictures["guide"]], target_guide=pictures["target"])
    with pytest.raises(TypeError, match="guide_weight: expected a number"):
        texsynth.synthesize(stone, guides=[pictures["guide"]], target_guide=pictures["target"], guide_weight="x")
