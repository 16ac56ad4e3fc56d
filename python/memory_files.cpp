#include "python/memory_files.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include <texsynth/image_files.h>
#include <texsynth/source_map_files.h>

#include "python/array_pictures.h"

namespace {

// The bytes of a bytes-like object (bytes, bytearray, memoryview), held for as long as this lives, so that
// they can be read with the GIL released.
class HeldBytes {
public:
    HeldBytes(py::handle value, const char* what) {
        if (PyObject_CheckBuffer(value.ptr()) == 0) {
            throw py::type_error(std::string(what) + ": expected bytes, got " +
                                 std::string(py::str(py::type::handle_of(value).attr("__name__"))));
        }
        bytes_ = py::reinterpret_steal<py::bytes>(PyBytes_FromObject(value.ptr()));
        if (!bytes_) {
            throw py::error_already_set();
        }
        char* data = nullptr;
        Py_ssize_t size = 0;
        PyBytes_AsStringAndSize(bytes_.ptr(), &data, &size);
        span_ = {reinterpret_cast<const std::uint8_t*>(data), static_cast<std::size_t>(size)};
    }

    std::span<const std::uint8_t> span() const { return span_; }

private:
    py::bytes bytes_;
    std::span<const std::uint8_t> span_;
};

py::bytes bytes_of(const std::vector<std::uint8_t>& file) {
    return {reinterpret_cast<const char*>(file.data()), file.size()};
}

// Runs `work` (which fills `why` and returns false on failure) with the GIL released; raises ValueError.
template <class Work>
void released(Work&& work) {
    std::string why;
    bool done = false;
    {
        const py::gil_scoped_release unlocked;
        done = work(why);
    }
    if (!done) {
        throw py::value_error(why);
    }
}

py::array decode_image_bytes(py::handle data) {
    const HeldBytes file(data, "data");
    Image picture;
    released([&](std::string& why) { return decode_image(file.span(), picture, why); });
    return array_from_picture(std::move(picture), PictureLayout{false, false});
}

py::bytes encode_image_array(py::handle array, const std::string& format) {
    PictureLayout layout;
    const Image picture = picture_from_array(array, "image", layout, true);
    std::vector<std::uint8_t> file;
    released([&](std::string& why) { return encode_image(format, picture, file, why); });
    return bytes_of(file);
}

py::array decode_source_map_bytes(py::handle data) {
    const HeldBytes file(data, "data");
    SourceMap map;
    released([&](std::string& why) { return decode_source_map(file.span(), map, why); });
    return array_from_source_map(std::move(map));
}

py::bytes encode_source_map_array(py::handle source_map) {
    const SourceMap map = source_map_from_array(source_map, "source map");
    std::vector<std::uint8_t> file;
    released([&](std::string& why) { return encode_source_map(map, file, why); });
    return bytes_of(file);
}

}  // namespace

void add_memory_file_functions(py::module_& module) {
    module.def("decode_image", &decode_image_bytes, R"doc(decode_image(data)
--

read_image for a file's bytes: the picture in a BMP, PNG or JPEG file held in memory (bytes, bytearray or
memoryview), recognised by its content. Returns what read_image returns for that file; bytes it cannot read
raise ValueError with the reason read_image gives after the file name.
)doc",
               py::arg("data"));
    module.def("encode_image", &encode_image_array, R"doc(encode_image(array, format)
--

write_image without the file: the bytes write_image writes to a file whose extension is format ('png' or
'bmp'), as bytes. Refusals raise ValueError with the reason write_image gives after the file name.
)doc",
               py::arg("array"), py::arg("format"));
    module.def("decode_source_map", &decode_source_map_bytes, R"doc(decode_source_map(data)
--

read_source_map for a file's bytes: the uint16 array of x and y (and the exemplar) in a source map's PNG
held in memory. Anything else raises ValueError with the reason read_source_map gives after the file name.
)doc",
               py::arg("data"));
    module.def("encode_source_map", &encode_source_map_array, R"doc(encode_source_map(source_map)
--

write_source_map without the file: the bytes of the 16-bit PNG it writes, as bytes.
)doc",
               py::arg("source_map"));
}
