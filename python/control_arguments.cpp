#include "python/control_arguments.h"

#include <pybind11/numpy.h>

#include <cstring>
#include <string>

namespace {

bool is_list(py::handle value) { return py::isinstance<py::list>(value) || py::isinstance<py::tuple>(value); }

// A list argument's items, or TypeError.
std::vector<py::handle> items_of(py::handle value, const std::string& name) {
    if (!is_list(value)) {
        throw py::type_error(name + ": expected a list, got " + std::string(py::repr(value)));
    }
    std::vector<py::handle> items;
    for (const py::handle item : value) {
        items.push_back(item);
    }
    return items;
}

double weight_from(py::handle value, const std::string& name) {
    if (PyBool_Check(value.ptr()) || PyNumber_Check(value.ptr()) == 0 || py::isinstance<py::str>(value)) {
        throw py::type_error(name + ": expected a number, got " + std::string(py::repr(value)));
    }
    return PyFloat_AsDouble(value.ptr());
}

std::string item_name(const char* name, std::size_t i) { return std::string(name) + "[" + std::to_string(i) + "]"; }

// Several pictures: a list (or tuple) of NumPy arrays; nested lists of numbers are one picture.
bool several_pictures(py::handle value) {
    if (!is_list(value) || py::len(value) == 0) {
        return false;
    }
    for (const py::handle item : value) {
        if (!py::isinstance<py::array>(item)) {
            return false;
        }
    }
    return true;
}

}  // namespace

void ControlPictures::read_exemplars(py::handle exemplar, PictureLayout& layout, const char* what) {
    several_ = several_pictures(exemplar);
    if (!several_) {
        exemplars_.push_back(picture_from_array(exemplar, what, layout, true));
        return;
    }
    const std::vector<py::handle> items = items_of(exemplar, what);
    for (std::size_t i = 0; i < items.size(); ++i) {
        exemplars_.push_back(picture_from_array(items[i], item_name(what, i).c_str(), layout, i == 0));
    }
}

void ControlPictures::read_controls(py::handle sample_masks, py::handle guides, py::handle target_guide,
                                    py::handle guide_weight, py::handle match_also) {
    // Guides and maps take no part in the result's layout.
    PictureLayout unused;
    if (!sample_masks.is_none()) {
        const std::vector<py::handle> items = items_of(sample_masks, "sample_masks");
        for (std::size_t i = 0; i < items.size(); ++i) {
            const Image& exemplar = exemplars_[std::min(i, exemplars_.size() - 1)];
            masks_.push_back(mask_from_array(items[i], item_name("sample_masks", i).c_str(), exemplar.width,
                                             exemplar.height));
        }
    }
    if (!guides.is_none()) {
        const std::vector<py::handle> items = items_of(guides, "guides");
        for (std::size_t i = 0; i < items.size(); ++i) {
            guides_.push_back(picture_from_array(items[i], item_name("guides", i).c_str(), unused, false));
        }
    }
    if (!target_guide.is_none()) {
        target_guide_ = picture_from_array(target_guide, "target_guide", unused, false);
    }
    if (!guide_weight.is_none()) {
        guide_weight_ = weight_from(guide_weight, "guide_weight");
    }
    if (!match_also.is_none()) {
        // Each entry: the maps of one kind (an array for one exemplar, a list of arrays for several), or a pair
        // (maps, weight).
        const std::vector<py::handle> kinds = items_of(match_also, "match_also");
        for (std::size_t k = 0; k < kinds.size(); ++k) {
            const std::string name = item_name("match_also", k);
            py::handle maps = kinds[k];
            double weight = 1.0;
            const bool paired = py::isinstance<py::tuple>(maps) && py::len(maps) == 2;
            if (paired && !py::isinstance<py::array>(maps[py::int_(1)]) && !is_list(maps[py::int_(1)])) {
                weight = weight_from(maps[py::int_(1)], name + " weight");
                maps = maps[py::int_(0)];
            }
            std::vector<Image>& pictures = maps_.emplace_back();
            if (several_) {
                const std::vector<py::handle> items = items_of(maps, name);
                for (std::size_t i = 0; i < items.size(); ++i) {
                    pictures.push_back(picture_from_array(items[i], (name + item_name("", i)).c_str(), unused, false));
                }
            } else {
                pictures.push_back(picture_from_array(maps, name.c_str(), unused, false));
            }
            map_weights_.push_back(weight);
        }
    }
}

void ControlPictures::fill_in(Job& job) const {
    job.exemplar = nullptr;
    job.exemplars.clear();
    if (several_) {
        for (const Image& exemplar : exemplars_) {
            job.exemplars.push_back(&exemplar);
        }
    } else {
        job.exemplar = &exemplars_[0];
    }
    for (const std::vector<std::uint8_t>& mask : masks_) {
        job.sample_masks.push_back(&mask);
    }
    for (const Image& guide : guides_) {
        job.guides.push_back(&guide);
    }
    job.target_guide = target_guide();
    job.guide_weight = guide_weight_;
    for (std::size_t k = 0; k < maps_.size(); ++k) {
        MatchedMaps kind;
        kind.weight = map_weights_[k];
        for (const Image& map : maps_[k]) {
            kind.maps.push_back(&map);
        }
        job.match_also.push_back(std::move(kind));
    }
}
