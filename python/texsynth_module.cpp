// The Python module: texsynth's jobs on NumPy arrays. A thin front end over the library's job API
// (<texsynth/job.h>), as the command line is; it reads arguments, runs jobs and hands back arrays.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <optional>

#include <texsynth/image_files.h>
#include <texsynth/source_map_files.h>
#include <texsynth/version.h>

#include "python/array_pictures.h"
#include "python/control_arguments.h"
#include "python/docstrings.h"
#include "python/job_call.h"
#include "python/keyword_settings.h"
#include "python/memory_files.h"

namespace {

// A file name as the file system takes it (str, bytes or os.PathLike).
std::string file_system_path(py::handle path) {
    return py::bytes(py::module_::import("os").attr("fsencode")(path));
}

// A file name as a message shows it.
std::string shown_path(py::handle path) { return py::str(py::module_::import("os").attr("fsdecode")(path)); }

py::object result_of(JobResult&& result, const PictureLayout& layout, bool return_map) {
    py::array picture = array_from_picture(std::move(result.image), layout);
    if (!return_map) {
        return picture;
    }
    return py::make_tuple(std::move(picture), array_from_source_map(std::move(result.map)));
}

// Runs a job whose settings come from keyword arguments; `stand_ins` holds those of its other numbers.
py::object run_with_settings(Job& job, const SynthesisArguments& arguments, StandIns stand_ins,
                             const PictureLayout& layout, bool return_map) {
    StandIns all;
    job.settings = settings_from_arguments(arguments, all);
    job.with_map = return_map;
    all.insert(all.end(), stand_ins.begin(), stand_ins.end());
    return result_of(call_job(job, all), layout, return_map);
}

py::object synthesize(py::handle exemplar, py::handle size, py::handle sample_masks, py::handle guides,
                      py::handle target_guide, py::handle guide_weight, py::handle match_also, py::object seed,
                      py::object match, py::object passes, py::object levels, py::object half_sizes, py::object k,
                      py::object threads, bool return_map) {
    PictureLayout layout;
    ControlPictures pictures;
    pictures.read_exemplars(exemplar, layout);
    pictures.read_controls(sample_masks, guides, target_guide, guide_weight, match_also);
    StandIns stand_ins;
    Job job;
    job.kind = JobKind::generate;
    pictures.fill_in(job);
    if (size.is_none() && pictures.target_guide() != nullptr) {
        // The layout wanted gives the size.
        job.width = pictures.target_guide()->width;
        job.height = pictures.target_guide()->height;
    } else {
        if (!py::isinstance<py::sequence>(size) || py::isinstance<py::str>(size) || py::len(size) != 2) {
            throw py::type_error("size: expected (width, height), got " + std::string(py::repr(size)));
        }
        job.width = whole_number(size[py::int_(0)], "size", stand_ins);
        job.height = whole_number(size[py::int_(1)], "size", stand_ins);
    }
    return run_with_settings(job, {seed, match, passes, levels, half_sizes, k, threads}, stand_ins, layout,
                             return_map);
}

py::object transfer(py::handle style, py::handle target, py::handle sample_masks, py::handle guide_weight,
                    py::handle match_also, py::object seed, py::object match, py::object passes, py::object levels,
                    py::object half_sizes, py::object k, py::object threads, bool return_map) {
    PictureLayout layout;
    ControlPictures pictures;
    pictures.read_exemplars(style, layout);
    const Image picture = picture_from_array(target, "target", layout, false);
    pictures.read_controls(sample_masks, py::none(), py::none(), guide_weight, match_also);
    Job job;
    job.kind = JobKind::transfer;
    pictures.fill_in(job);
    job.picture = &picture;
    return run_with_settings(job, {seed, match, passes, levels, half_sizes, k, threads}, {}, layout, return_map);
}

// A fill's or a tiling's sample mask (none: every pixel may be copied): one array, or a list of one, of the size of
// `source`, the picture the new pixels come from.
std::vector<std::uint8_t> hole_sample_mask(py::handle sample_masks, const Image& source) {
    if (sample_masks.is_none()) {
        return {};
    }
    py::handle mask = sample_masks;
    if (py::isinstance<py::list>(sample_masks) || py::isinstance<py::tuple>(sample_masks)) {
        if (py::len(sample_masks) != 1) {
            throw py::value_error("sample_masks: expected one mask, of the picture the new pixels come from, got " +
                                  std::to_string(py::len(sample_masks)));
        }
        mask = sample_masks[py::int_(0)];
    }
    return mask_from_array(mask, "sample_masks", source.width, source.height);
}

py::object fill(py::handle image, py::handle mask, py::handle exemplar, py::handle sample_masks, py::object seed,
                py::object match, py::object passes, py::object levels, py::object half_sizes, py::object k,
                py::object threads, bool return_map) {
    PictureLayout layout;
    const Image picture = picture_from_array(image, "image", layout, true);
    const std::vector<std::uint8_t> replaced = mask_from_array(mask, "mask", picture.width, picture.height);
    std::optional<Image> source;
    if (!exemplar.is_none()) {
        source = picture_from_array(exemplar, "exemplar", layout, false);
    }
    const std::vector<std::uint8_t> allowed = hole_sample_mask(sample_masks, source ? *source : picture);
    Job job;
    job.kind = JobKind::fill;
    job.picture = &picture;
    job.mask = &replaced;
    job.exemplar = source ? &*source : nullptr;
    if (!allowed.empty()) {
        job.sample_masks.push_back(&allowed);
    }
    return run_with_settings(job, {seed, match, passes, levels, half_sizes, k, threads}, {}, layout, return_map);
}

py::object make_tileable(py::handle image, py::object band, py::handle sample_masks, py::object seed, py::object match,
                         py::object passes, py::object levels, py::object half_sizes, py::object k, py::object threads,
                         bool return_map) {
    PictureLayout layout;
    const Image picture = picture_from_array(image, "image", layout, true);
    const std::vector<std::uint8_t> allowed = hole_sample_mask(sample_masks, picture);
    StandIns stand_ins;
    Job job;
    job.kind = JobKind::tile;
    job.picture = &picture;
    if (!allowed.empty()) {
        job.sample_masks.push_back(&allowed);
    }
    job.band = band.is_none() ? 0 : whole_number(band, "band", stand_ins);
    return run_with_settings(job, {seed, match, passes, levels, half_sizes, k, threads}, stand_ins, layout,
                             return_map);
}

// A border as an int (every side) or a (left, top, right, bottom) sequence of ints.
Border border_from(py::handle border, StandIns& stand_ins) {
    if (!py::isinstance<py::sequence>(border) || py::isinstance<py::str>(border)) {
        const int width = whole_number(border, "border", stand_ins);
        return {width, width, width, width};
    }
    if (py::len(border) != 4) {
        throw py::value_error("border: expected a whole number or (left, top, right, bottom), got " +
                              std::string(py::repr(border)));
    }
    int sides[4];
    for (int i = 0; i < 4; ++i) {
        sides[i] = whole_number(border[py::int_(i)], "border", stand_ins);
    }
    return {sides[0], sides[1], sides[2], sides[3]};
}

py::object extend(py::handle image, py::handle border, py::handle exemplar, py::object seed, py::object match,
                  py::object passes, py::object levels, py::object half_sizes, py::object k, py::object threads,
                  bool return_map) {
    PictureLayout layout;
    const Image picture = picture_from_array(image, "image", layout, true);
    std::optional<Image> source;
    if (!exemplar.is_none()) {
        source = picture_from_array(exemplar, "exemplar", layout, false);
    }
    StandIns stand_ins;
    Job job;
    job.kind = JobKind::extend;
    job.picture = &picture;
    job.border = border_from(border, stand_ins);
    job.exemplar = source ? &*source : nullptr;
    return run_with_settings(job, {seed, match, passes, levels, half_sizes, k, threads}, stand_ins, layout,
                             return_map);
}

py::array apply_map(py::handle image, py::handle source_map) {
    PictureLayout layout;
    ControlPictures pictures;
    pictures.read_exemplars(image, layout, "image");
    Job job;
    pictures.fill_in(job);
    const std::vector<const Image*> images = job.exemplars.empty() ? std::vector<const Image*>{job.exemplar}
                                                                   : job.exemplars;
    const SourceMap map = source_map_from_array(source_map, "source map");
    Image result;
    JobError error;
    bool done = false;
    {
        const py::gil_scoped_release released;
        done = apply_source_map(images, map, result, error);
    }
    if (!done) {
        throw py::value_error(error.message());
    }
    return array_from_picture(std::move(result), layout);
}

py::array read_image_file(py::handle path) {
    const std::string name = file_system_path(path);
    Image picture;
    std::string why;
    bool done = false;
    {
        const py::gil_scoped_release released;
        done = read_image(name, picture, why);
    }
    if (!done) {
        raise_file_error(shown_path(path), why);
    }
    return array_from_picture(std::move(picture), PictureLayout{false, false});
}

void write_image_file(py::handle path, py::handle array) {
    const std::string name = file_system_path(path);
    PictureLayout layout;
    const Image picture = picture_from_array(array, "image", layout, true);
    std::string why;
    bool done = false;
    {
        const py::gil_scoped_release released;
        done = write_image(name, picture, why);
    }
    if (!done) {
        raise_file_error(shown_path(path), why);
    }
}

py::array read_source_map_file(py::handle path) {
    const std::string name = file_system_path(path);
    SourceMap map;
    std::string why;
    bool done = false;
    {
        const py::gil_scoped_release released;
        done = read_source_map(name, map, why);
    }
    if (!done) {
        raise_file_error(shown_path(path), why);
    }
    return array_from_source_map(std::move(map));
}

void write_source_map_file(py::handle path, py::handle source_map) {
    const std::string name = file_system_path(path);
    const SourceMap map = source_map_from_array(source_map, "source map");
    std::string why;
    bool done = false;
    {
        const py::gil_scoped_release released;
        done = write_source_map(name, map, why);
    }
    if (!done) {
        raise_file_error(shown_path(path), why);
    }
}

}  // namespace

PYBIND11_MODULE(_texsynth, module) {
    // Each docstring starts with its own signature, which Python reads (pybind11's would name C++ types).
    py::options options;
    options.disable_function_signatures();

    module.doc() = module_doc();
    module.attr("__version__") = TEXSYNTH_VERSION;

    const SynthesisArguments defaults = default_synthesis_arguments();
    const auto settings = [&defaults] {
        return std::make_tuple(py::arg("seed") = defaults.seed, py::arg("match") = defaults.match,
                               py::arg("passes") = defaults.passes, py::arg("levels") = defaults.levels,
                               py::arg("half_sizes") = defaults.half_sizes, py::arg("k") = defaults.k,
                               py::arg("threads") = defaults.threads, py::arg("return_map") = false);
    };
    const auto [seed, match, passes, levels, half_sizes, k, threads, return_map] = settings();
    const py::arg_v hole_passes = py::arg("passes") = default_synthesis_arguments(true).passes;
    module.def("synthesize", &synthesize, synthesize_doc().c_str(), py::arg("exemplar"),
               py::arg("size") = py::none(), py::kw_only(), py::arg("sample_masks") = py::none(),
               py::arg("guides") = py::none(), py::arg("target_guide") = py::none(),
               py::arg("guide_weight") = py::none(), py::arg("match_also") = py::none(), seed, match, passes, levels,
               half_sizes, k, threads, return_map);
    module.def("transfer", &transfer, transfer_doc().c_str(), py::arg("style"), py::arg("target"), py::kw_only(),
               py::arg("sample_masks") = py::none(), py::arg("guide_weight") = py::none(),
               py::arg("match_also") = py::none(), seed, match, passes, levels, half_sizes, k, threads, return_map);
    module.def("fill", &fill, fill_doc().c_str(), py::arg("image"), py::arg("mask"), py::kw_only(),
               py::arg("exemplar") = py::none(), py::arg("sample_masks") = py::none(), seed, match, hole_passes, levels,
               half_sizes, k, threads, return_map);
    module.def("make_tileable", &make_tileable, make_tileable_doc().c_str(), py::arg("image"), py::kw_only(),
               py::arg("band") = py::none(), py::arg("sample_masks") = py::none(), seed, match, hole_passes, levels,
               half_sizes, k, threads, return_map);
    module.def("extend", &extend, extend_doc().c_str(), py::arg("image"), py::arg("border"), py::kw_only(),
               py::arg("exemplar") = py::none(), seed, match, hole_passes, levels, half_sizes, k, threads,
               return_map);
    module.def("apply_map", &apply_map, apply_map_doc().c_str(), py::arg("image"), py::arg("source_map"));
    module.def("read_image", &read_image_file, read_image_doc().c_str(), py::arg("path"));
    module.def("write_image", &write_image_file, write_image_doc().c_str(), py::arg("path"), py::arg("array"));
    module.def("read_source_map", &read_source_map_file, read_source_map_doc().c_str(), py::arg("path"));
    module.def("write_source_map", &write_source_map_file, write_source_map_doc().c_str(), py::arg("path"),
               py::arg("source_map"));
    add_memory_file_functions(module);
}
