#include "python/array_pictures.h"

#include <climits>
#include <cstring>
#include <memory>
#include <string>

namespace {

std::string shape_text(const py::array& array) {
    std::string text = "(";
    for (py::ssize_t d = 0; d < array.ndim(); ++d) {
        text += (d > 0 ? ", " : "") + std::to_string(array.shape(d));
    }
    return text + (array.ndim() == 1 ? ",)" : ")");
}

// Anything NumPy takes as an array (an array, a view, a Pillow image, a buffer); its dtype is checked after.
py::array as_array(py::handle value) {
    return py::module_::import("numpy").attr("asarray")(value);
}

void require_dtype(const py::array& array, const py::dtype& expected, const char* what, const char* described) {
    if (!array.dtype().equal(expected)) {
        throw py::type_error(std::string(what) + ": expected " + described + ", got an array of " +
                             std::string(py::str(array.dtype())));
    }
}

// Height and width of an array whose first two dimensions are rows and columns.
void require_size(const py::array& array, const char* what) {
    if (array.shape(0) > INT_MAX || array.shape(1) > INT_MAX) {
        throw py::value_error(std::string(what) + ": an array of shape " + shape_text(array) +
                              " has more rows or columns than a picture may have");
    }
}

// The element at (y, x, c) of a 2- or 3-dimensional array, by its strides (which may be negative).
struct StridedBytes {
    explicit StridedBytes(const py::array& array)
        : base(static_cast<const std::uint8_t*>(array.data())),
          row(array.strides(0)),
          column(array.strides(1)),
          channel(array.ndim() == 3 ? array.strides(2) : 0) {}

    const std::uint8_t* at(py::ssize_t y, py::ssize_t x, py::ssize_t c) const {
        return base + y * row + x * column + c * channel;
    }

    const std::uint8_t* base;
    py::ssize_t row;
    py::ssize_t column;
    py::ssize_t channel;
};

// Moves `data` into a capsule that the new array keeps as its base: the array owns the buffer, uncopied.
template <class T>
py::array owning_array(std::vector<T>&& data, std::vector<py::ssize_t> shape) {
    auto owned = std::make_unique<std::vector<T>>(std::move(data));
    const T* pixels = owned->data();
    py::capsule owner(owned.get(), [](void* vector) { delete static_cast<std::vector<T>*>(vector); });
    owned.release();
    return py::array_t<T>(std::move(shape), pixels, owner);
}

}  // namespace

Image picture_from_array(py::handle value, const char* what, PictureLayout& layout, bool main) {
    const py::array array = as_array(value);
    require_dtype(array, py::dtype::of<std::uint8_t>(), what, "uint8 pixels (0 to 255)");
    const py::ssize_t channels = array.ndim() == 2 ? 1 : array.ndim() == 3 ? array.shape(2) : 0;
    if (channels < 1 || channels > 4) {
        throw py::value_error(std::string(what) + ": expected 3 (RGB) or 4 (RGBA) channels, (height, width, 3) or " +
                              "(height, width, 4), or grey (height, width), (height, width, 1) or (height, width, 2); " +
                              "got an array of shape " + shape_text(array));
    }
    require_size(array, what);
    const bool grey = channels <= 2;
    const bool alpha = channels == 2 || channels == 4;
    Image picture;
    picture.width = static_cast<int>(array.shape(1));
    picture.height = static_cast<int>(array.shape(0));
    picture.channels = alpha ? 4 : 3;
    picture.pixels.resize(static_cast<std::size_t>(picture.width) * picture.height * picture.channels);
    const bool contiguous = (array.flags() & py::array::c_style) != 0;
    if (!grey && contiguous && !picture.pixels.empty()) {
        std::memcpy(picture.pixels.data(), array.data(), picture.pixels.size());
    } else {
        const StridedBytes bytes(array);
        std::uint8_t* out = picture.pixels.data();
        for (py::ssize_t y = 0; y < picture.height; ++y) {
            for (py::ssize_t x = 0; x < picture.width; ++x) {
                for (py::ssize_t c = 0; c < picture.channels; ++c) {
                    // Grey: R, G and B read channel 0, alpha channel 1.
                    const py::ssize_t read = !grey ? c : c < 3 ? 0 : 1;
                    *out++ = *bytes.at(y, x, read);
                }
            }
        }
    }
    layout.grey = layout.grey && grey;
    if (main) {
        layout.two_dimensional = array.ndim() == 2;
    }
    return picture;
}

py::array array_from_picture(Image&& picture, const PictureLayout& layout) {
    const auto height = static_cast<py::ssize_t>(picture.height);
    const auto width = static_cast<py::ssize_t>(picture.width);
    if (!layout.grey) {
        return owning_array(std::move(picture.pixels), {height, width, picture.channels});
    }
    // R = G = B: keep R (and alpha), moving each pixel down in place.
    const std::size_t pixels = static_cast<std::size_t>(picture.width) * picture.height;
    const int kept = picture.channels == 4 ? 2 : 1;
    std::uint8_t* bytes = picture.pixels.data();
    for (std::size_t i = 0; i < pixels; ++i) {
        bytes[i * kept] = bytes[i * picture.channels];
        if (kept == 2) {
            bytes[i * 2 + 1] = bytes[i * 4 + 3];
        }
    }
    picture.pixels.resize(pixels * kept);
    if (kept == 1 && layout.two_dimensional) {
        return owning_array(std::move(picture.pixels), {height, width});
    }
    return owning_array(std::move(picture.pixels), {height, width, kept});
}

SourceMap source_map_from_array(py::handle value, const char* what) {
    py::array array = as_array(value);
    const py::dtype native = py::dtype::of<std::uint16_t>();
    if (!array.dtype().equal(native) && array.dtype().kind() == 'u' && array.dtype().itemsize() == 2) {
        array = array.attr("astype")(native);  // the other byte order
    }
    require_dtype(array, native, what, "uint16 coordinates");
    if (array.ndim() != 3 || (array.shape(2) != 2 && array.shape(2) != 3)) {
        throw py::value_error(std::string(what) + ": expected an array of shape (height, width, 2) holding x and y, " +
                              "or (height, width, 3) with the exemplar too, got shape " + shape_text(array));
    }
    require_size(array, what);
    SourceMap map;
    map.width = static_cast<int>(array.shape(1));
    map.height = static_cast<int>(array.shape(0));
    const std::size_t pixels = static_cast<std::size_t>(map.width) * map.height;
    map.xy.resize(pixels * 2);
    if (array.shape(2) == 3) {
        map.exemplar.resize(pixels);
    }
    const StridedBytes bytes(array);
    std::uint16_t* out = map.xy.data();
    std::uint16_t* exemplar = map.exemplar.data();
    for (py::ssize_t y = 0; y < map.height; ++y) {
        for (py::ssize_t x = 0; x < map.width; ++x) {
            for (py::ssize_t c = 0; c < 2; ++c) {
                std::memcpy(out++, bytes.at(y, x, c), sizeof(std::uint16_t));
            }
            if (exemplar != nullptr) {
                std::memcpy(exemplar++, bytes.at(y, x, 2), sizeof(std::uint16_t));
            }
        }
    }
    return map;
}

py::array array_from_source_map(SourceMap&& map) {
    const py::ssize_t height = map.height;
    const py::ssize_t width = map.width;
    if (map.exemplar.empty()) {
        return owning_array(std::move(map.xy), {height, width, 2});
    }
    const std::size_t pixels = static_cast<std::size_t>(map.width) * map.height;
    std::vector<std::uint16_t> values(pixels * 3);
    for (std::size_t i = 0; i < pixels; ++i) {
        values[i * 3] = map.xy[i * 2];
        values[i * 3 + 1] = map.xy[i * 2 + 1];
        values[i * 3 + 2] = map.exemplar[i];
    }
    return owning_array(std::move(values), {height, width, 3});
}

std::vector<std::uint8_t> mask_from_array(py::handle value, const char* what, int width, int height) {
    const py::array array = as_array(value);
    if (!array.dtype().equal(py::dtype::of<bool>())) {
        require_dtype(array, py::dtype::of<std::uint8_t>(), what, "bool or uint8 (non-zero: replace)");
    }
    if (array.ndim() != 2 && !(array.ndim() == 3 && array.shape(2) == 1)) {
        throw py::value_error(std::string(what) + ": expected an array of shape (height, width), got shape " +
                              shape_text(array));
    }
    if (array.shape(0) != height || array.shape(1) != width) {
        throw py::value_error(std::string(what) + ": is " + std::to_string(array.shape(1)) + "x" +
                              std::to_string(array.shape(0)) + ", but the image is " + std::to_string(width) + "x" +
                              std::to_string(height) + "; a mask has the image's size");
    }
    std::vector<std::uint8_t> mask(static_cast<std::size_t>(width) * height);
    const StridedBytes bytes(array);
    for (py::ssize_t y = 0; y < height; ++y) {
        for (py::ssize_t x = 0; x < width; ++x) {
            mask[static_cast<std::size_t>(y) * width + x] = *bytes.at(y, x, 0) != 0 ? 1 : 0;
        }
    }
    return mask;
}
