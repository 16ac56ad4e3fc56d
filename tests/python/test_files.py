"""read_image, write_image and the source-map files: the program's own readers and writers, refusing what
they refuse with the line the command line prints."""
import numpy as np
import pytest
from PIL import Image

import plain_png
from conftest import SOURCE_DIR, run_cli, texsynth

CORPUS = SOURCE_DIR / "tests" / "corpus"


def test_files_read_as_pillow_reads_them(tmp_path, demo, transparent):
    assert demo.shape == (128, 128, 3)
    assert np.array_equal(demo, np.asarray(Image.open(SOURCE_DIR / "demo" / "demo2.bmp")))
    Image.fromarray(transparent).save(tmp_path / "rgba.png")
    assert np.array_equal(texsynth.read_image(tmp_path / "rgba.png"), transparent)
    # Grey files come back as RGB; a bytes path and a str path name the same file.
    Image.fromarray(demo[..., 1]).save(tmp_path / "grey.png")
    grey = texsynth.read_image(bytes(tmp_path / "grey.png"))
    assert grey.shape == (128, 128, 3) and np.array_equal(grey, np.dstack([demo[..., 1]] * 3))
    Image.fromarray(demo).save(tmp_path / "demo.jpg", quality=90)
    assert np.array_equal(texsynth.read_image(str(tmp_path / "demo.jpg")),
                          np.asarray(Image.open(tmp_path / "demo.jpg")))


@pytest.mark.parametrize("name, channels", [("out.png", 3), ("out.PNG", 4), ("out.bmp", 3), ("grey.png", 1)])
def test_written_files_read_back_as_written(tmp_path, demo, transparent, name, channels):
    picture = {1: demo[::-1, :, 0], 3: demo[::2], 4: transparent}[channels]
    texsynth.write_image(tmp_path / name, picture)
    read = np.asarray(Image.open(tmp_path / name))
    assert np.array_equal(read, np.dstack([picture] * 3) if channels == 1 else picture)


# Files the command line refuses as an exemplar, and the reason it prints.
@pytest.mark.parametrize("name, content", [
    ("missing.png", None),
    ("empty.png", b""),
    ("picture.gif", b"GIF89a" + bytes(40)),
    ("notes.bmp", b"just some text\n"),
    ("cut.bmp", (CORPUS / "bmp" / "pixels-cut.bmp").read_bytes()),
    ("folder", "folder"),
])
def test_unreadable_files_raise_the_line_the_command_line_prints(tmp_path, name, content):
    if content == "folder":
        (tmp_path / name).mkdir()
    elif content is not None:
        (tmp_path / name).write_bytes(content)
    status, _, err = run_cli("--output=o.png", name, cwd=tmp_path)
    assert status == 1 and err.startswith(f"texsynth: {name}: ")
    with pytest.raises(OSError) as refusal:
        texsynth.read_image(tmp_path / name)
    assert str(refusal.value) == err.strip().replace(f"texsynth: {name}", str(tmp_path / name))


@pytest.mark.parametrize("name, why", [
    ("out.gif", "cannot write a .gif file: only .png and .bmp are written"),
    ("out", "cannot write: the file name has no extension; use .png or .bmp"),
    ("rgba.bmp", "cannot write an image with an alpha channel as BMP (only 24-bit BMP files are written); use .png"),
    ("no/such/folder/out.png", None),
])
def test_unwritable_files_raise_the_writer_reason(tmp_path, transparent, name, why):
    with pytest.raises(OSError) as refusal:
        texsynth.write_image(tmp_path / name, transparent)
    message = str(refusal.value)
    assert message.startswith(f"{tmp_path / name}: ")
    if why is not None:
        assert message == f"{tmp_path / name}: {why}"
    assert not (tmp_path / name).exists()


def test_source_maps_are_the_save_map_files(tmp_path, demo):
    status, _, err = run_cli("--size=30x20", "--save-map=cli.png", "--output=o.png", SOURCE_DIR / "demo" / "demo2.bmp",
                             cwd=tmp_path)
    assert status == 0, err
    _, source_map = texsynth.synthesize(demo, (30, 20), return_map=True)
    assert np.array_equal(texsynth.read_source_map(tmp_path / "cli.png"), source_map)
    # Written by the module: a 16-bit RGB PNG of x, y and 0, as the plain decoder reads it.
    strided = np.asfortranarray(source_map)
    texsynth.write_source_map(tmp_path / "module.png", strided)
    samples = plain_png.decode(tmp_path / "module.png")
    assert samples.dtype == np.uint16 and samples.shape == (20, 30, 3)
    assert np.array_equal(samples[..., :2], source_map) and not samples[..., 2].any()


def test_files_that_are_not_source_maps_raise_the_line_the_command_line_prints(tmp_path, demo):
    texsynth.write_image(tmp_path / "colour.png", demo)
    texsynth.write_image(tmp_path / "demo.bmp", demo)
    for name in ("colour.png", "demo.bmp", "missing.png"):
        status, _, err = run_cli(f"--apply-map={name}", "--output=o.png", "demo.bmp", cwd=tmp_path)
        assert status == 1
        with pytest.raises(OSError) as refusal:
            texsynth.read_source_map(tmp_path / name)
        assert str(refusal.value) == err.strip().replace(f"texsynth: {name}", str(tmp_path / name))
    with pytest.raises(OSError) as refusal:
        texsynth.write_source_map(tmp_path / "map.bmp" / "x.png", np.zeros((2, 2, 2), np.uint16))
    assert str(refusal.value).startswith(str(tmp_path / "map.bmp" / "x.png") + ": ")


def test_files_in_memory_are_the_files_read_and_written(tmp_path, demo, transparent):
    for name, picture in (("o.png", transparent), ("o.bmp", demo), ("o.PNG", demo[::2])):
        texsynth.write_image(tmp_path / name, picture)
        written = (tmp_path / name).read_bytes()
        assert texsynth.encode_image(picture, name[2:]) == written
        assert np.array_equal(texsynth.decode_image(bytearray(written)), texsynth.read_image(tmp_path / name))
    _, source_map = texsynth.synthesize(demo, (30, 20), return_map=True)
    texsynth.write_source_map(tmp_path / "map.png", source_map)
    assert texsynth.encode_source_map(source_map) == (tmp_path / "map.png").read_bytes()
    assert np.array_equal(texsynth.decode_source_map(memoryview((tmp_path / "map.png").read_bytes())), source_map)
    # Refusals give the reason the file functions give after the file's name.
    for call, reason in [
        (lambda: texsynth.decode_image(b"GIF89a" + bytes(40)), "not a BMP, PNG or JPEG file (it is a GIF image)"),
        (lambda: texsynth.decode_source_map(texsynth.encode_image(demo, "png")),
         "is a 8-bit PNG with 3 channels; a source map is a 16-bit RGB PNG, as --save-map writes it"),
        (lambda: texsynth.encode_image(transparent, "bmp"),
         "cannot write an image with an alpha channel as BMP (only 24-bit BMP files are written); use .png"),
        (lambda: texsynth.encode_image(demo, "gif"), "cannot write a .gif file: only .png and .bmp are written"),
    ]:
        with pytest.raises(ValueError) as refusal:
            call()
        assert str(refusal.value) == reason
    with pytest.raises(TypeError, match="data: expected bytes, got str"):
        texsynth.decode_image("o.png")
