"""Arrays in and out: every layout NumPy can hand over is read as the picture it shows, grey pictures come
back grey, results own their memory, and what cannot be a picture, map or mask is refused in words."""
import numpy as np
import pytest

from conftest import texsynth


def synthesize(exemplar):
    return texsynth.synthesize(exemplar, (24, 20), seed=1)


# Views of the 128 x 128 demo exemplar with their own strides; each must read as its plain copy does.
VIEWS = {
    "fortran order": np.asfortranarray,
    "rows and columns reversed": lambda a: a[::-1, ::-1],
    "channels reversed (BGR)": lambda a: a[..., ::-1],
    "every other pixel": lambda a: a[::2, ::3],
    "an inner window": lambda a: a[13:77, 5:90],
    "transposed": lambda a: a.transpose(1, 0, 2),
    "RGB of an RGBA array": lambda a: np.dstack([a, np.full(a.shape[:2], 9, np.uint8)])[..., :3],
}


@pytest.mark.parametrize("view", VIEWS.values(), ids=VIEWS.keys())
def test_arrays_of_any_strides_read_as_their_contiguous_copies(demo, view):
    strided = view(demo)
    plain = np.ascontiguousarray(strided)
    assert np.array_equal(synthesize(strided), synthesize(plain))
    _, source_map = texsynth.synthesize(plain, (24, 20), return_map=True)
    assert np.array_equal(texsynth.apply_map(strided, source_map), texsynth.apply_map(plain, source_map))


def test_read_only_arrays_and_maps_are_read(demo):
    frozen = demo.copy()
    frozen.flags.writeable = False
    texture, source_map = texsynth.synthesize(frozen, (24, 20), return_map=True)
    source_map.flags.writeable = False
    assert np.array_equal(texture, texsynth.synthesize(demo, (24, 20)))
    assert np.array_equal(texsynth.apply_map(frozen, source_map), texture)


def test_maps_of_any_strides_and_either_byte_order_are_read(demo):
    texture, source_map = texsynth.synthesize(demo, (24, 20), return_map=True)
    for strided in (np.asfortranarray(source_map), source_map.astype(">u2"),
                    np.dstack([source_map, source_map])[..., 1:3][..., ::-1]):
        assert np.array_equal(texsynth.apply_map(demo, strided), texture)


def test_grey_pictures_come_back_in_their_own_layout(demo):
    grey = demo[..., 0]  # itself a view of stride 3
    rgb = np.dstack([grey] * 3)
    alpha = demo[..., 2]
    expected = synthesize(rgb)[..., 0]
    assert synthesize(grey).shape == (20, 24)
    assert np.array_equal(synthesize(grey), expected)
    assert np.array_equal(synthesize(grey[..., None]), expected[..., None])
    with_alpha = synthesize(np.dstack([grey, alpha]))
    assert with_alpha.shape == (20, 24, 2)
    assert np.array_equal(with_alpha, synthesize(np.dstack([rgb, alpha]))[..., [0, 3]])
    _, source_map = texsynth.synthesize(grey, (24, 20), seed=1, return_map=True)
    assert np.array_equal(texsynth.apply_map(grey, source_map), expected)


def test_results_are_new_arrays_that_own_the_library_buffers(demo):
    texture, source_map = texsynth.synthesize(demo, (24, 20), return_map=True)
    grey = texsynth.synthesize(demo[..., 0], (24, 20))
    for result in (texture, source_map, grey, texsynth.apply_map(demo, source_map), demo):
        assert result.flags.c_contiguous and result.flags.writeable
        assert type(result.base).__name__ == "PyCapsule"  # the library's buffer, not a copy of it
    texture[:] = 0  # writing to a result changes nothing else
    assert np.array_equal(texsynth.apply_map(demo, source_map), texsynth.synthesize(demo, (24, 20)))


CHANNELS = ("expected 3 (RGB) or 4 (RGBA) channels, (height, width, 3) or (height, width, 4), or grey "
            "(height, width), (height, width, 1) or (height, width, 2); got an array of shape ")
BAD_PICTURES = [
    (np.zeros((8, 8, 3), np.float64), TypeError, "expected uint8 pixels (0 to 255), got an array of float64"),
    (np.zeros((8, 8, 3), np.uint16), TypeError, "expected uint8 pixels (0 to 255), got an array of uint16"),
    (np.zeros((8, 8, 3), bool), TypeError, "expected uint8 pixels (0 to 255), got an array of bool"),
    ([[1, 2], [3, 4]], TypeError, "expected uint8 pixels (0 to 255), got an array of int64"),
    ("picture", TypeError, "expected uint8 pixels (0 to 255), got an array of <U7"),
    (np.zeros(8, np.uint8), ValueError, CHANNELS + "(8,)"),
    (np.zeros((8, 8, 5), np.uint8), ValueError, CHANNELS + "(8, 8, 5)"),
    (np.zeros((8, 8, 0), np.uint8), ValueError, CHANNELS + "(8, 8, 0)"),
    (np.zeros((2, 8, 8, 3), np.uint8), ValueError, CHANNELS + "(2, 8, 8, 3)"),
    (np.zeros((0, 8, 3), np.uint8), ValueError, "the picture is empty"),  # the library's words
]


@pytest.mark.parametrize("picture, error, why", BAD_PICTURES)
def test_what_is_not_a_picture_is_refused_in_words(picture, error, why):
    with pytest.raises(error) as refusal:
        texsynth.synthesize(picture, (16, 16))
    assert str(refusal.value) == "exemplar: " + why
    with pytest.raises(error) as refusal:
        texsynth.apply_map(picture, np.zeros((2, 2, 2), np.uint16))
    assert str(refusal.value) == "image: " + why


@pytest.mark.parametrize("source_map, error, why", [
    (np.zeros((4, 4, 2), np.int64), TypeError, "expected uint16 coordinates, got an array of int64"),
    (np.zeros((4, 4, 2), np.float32), TypeError, "expected uint16 coordinates, got an array of float32"),
    (np.zeros((4, 4, 4), np.uint16), ValueError,
     "expected an array of shape (height, width, 2) holding x and y, or (height, width, 3) with the exemplar "
     "too, got shape (4, 4, 4)"),
    (np.zeros((4, 8), np.uint16), ValueError,
     "expected an array of shape (height, width, 2) holding x and y, or (height, width, 3) with the exemplar "
     "too, got shape (4, 8)"),
])
def test_what_is_not_a_source_map_is_refused_in_words(small, source_map, error, why):
    with pytest.raises(error) as refusal:
        texsynth.apply_map(small, source_map)
    assert str(refusal.value) == "source map: " + why
