#pragma once

#include <pybind11/pybind11.h>

#include <optional>
#include <vector>

#include <texsynth/image.h>
#include <texsynth/job.h>

#include "python/array_pictures.h"

namespace py = pybind11;

// The keyword arguments that say what is made where (sample_masks, guides, target_guide, guide_weight,
// match_also) and the exemplars, one array or a list of them, read into the pictures a job points into.
class ControlPictures {
public:
    // The exemplars: one array, or a list (or tuple) of arrays, named `what` in messages. `layout` is that of
    // the call's result.
    void read_exemplars(py::handle exemplar, PictureLayout& layout, const char* what = "exemplar");
    // The rest; None leaves each out.
    void read_controls(py::handle sample_masks, py::handle guides, py::handle target_guide, py::handle guide_weight,
                       py::handle match_also);
    // Points `job` at the pictures (which must outlive it).
    void fill_in(Job& job) const;

    bool several() const { return several_; }
    const Image* target_guide() const { return target_guide_ ? &*target_guide_ : nullptr; }

private:
    bool several_ = false;
    std::vector<Image> exemplars_;
    std::vector<std::vector<std::uint8_t>> masks_;
    std::vector<Image> guides_;
    std::optional<Image> target_guide_;
    std::optional<double> guide_weight_;
    std::vector<std::vector<Image>> maps_;
    std::vector<double> map_weights_;
};
