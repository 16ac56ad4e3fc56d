#include "python/keyword_settings.h"

#include <pybind11/numpy.h>

#include <algorithm>
#include <climits>
#include <cmath>

#include <texsynth/settings.h>

namespace {

constexpr std::pair<MatchMode, const char*> kMatchNames[] = {
    {MatchMode::approximate, "approximate"},
    {MatchMode::exact, "exact"},
    {MatchMode::coherent, "coherent"},
    {MatchMode::refined, "refined"},
};

std::string text_of(py::handle value) { return std::string(py::repr(value)); }

// The value as a Python int, or TypeError.
py::int_ as_int(py::handle value, const std::string& name) {
    if (PyBool_Check(value.ptr()) || PyIndex_Check(value.ptr()) == 0) {
        throw py::type_error(name + ": expected a whole number, got " + text_of(value));
    }
    return py::reinterpret_steal<py::int_>(PyNumber_Index(value.ptr()));
}

std::optional<std::uint32_t> seed_from(py::handle value) {
    if (value.is_none()) {
        return std::nullopt;
    }
    const py::int_ seed = as_int(value, "seed");
    int overflow = 0;
    const long long number = PyLong_AsLongLongAndOverflow(seed.ptr(), &overflow);
    if (overflow != 0 || number < 0 || number > 0xFFFF'FFFFLL) {
        throw py::value_error("seed: expected a whole number from 0 to 4294967295, got " + text_of(seed));
    }
    return static_cast<std::uint32_t>(number);
}

MatchMode match_from(py::handle value) {
    const std::string expected = R"(match: expected "approximate", "exact", "coherent" or "refined", got )";
    if (!py::isinstance<py::str>(value)) {
        throw py::type_error(expected + text_of(value));
    }
    const std::string name = py::str(value);
    for (const auto& [match, known] : kMatchNames) {
        if (name == known) {
            return match;
        }
    }
    throw py::value_error(expected + text_of(value));
}

// Half-sizes as the command line's --half-sizes lists them (row-major, L x L of them), or as an L x L array.
std::vector<int> half_sizes_from(py::handle value, StandIns& stand_ins) {
    const py::array array = py::module_::import("numpy").attr("asarray")(value);
    const char kind = array.dtype().kind();
    if (kind != 'i' && kind != 'u') {
        throw py::type_error("half_sizes: expected whole numbers, got an array of " +
                             std::string(py::str(array.dtype())));
    }
    const bool square = array.ndim() == 2 && array.shape(0) == array.shape(1);
    const py::ssize_t count = array.ndim() == 1 || square ? array.size() : 0;
    bool fills_a_matrix = false;
    for (int levels = 1; levels <= kMaxLevels; ++levels) {
        fills_a_matrix = fills_a_matrix || count == levels * levels;
    }
    if (!fills_a_matrix) {
        throw py::value_error("half_sizes: expected L x L half-sizes from 0 to " + std::to_string(kMaxHalfSize) +
                              " (1, 4, 9 or 16 of them, or an L x L array), got " +
                              (array.ndim() == 1 ? std::to_string(array.size())
                                                 : "an array of shape " + std::string(py::str(array.attr("shape")))));
    }
    const int levels = static_cast<int>(std::lround(std::sqrt(static_cast<double>(count))));
    std::vector<int> half_sizes;
    StandIns unread;  // entries below the diagonal are never read, so never named in a message
    for (const py::handle entry : array.attr("ravel")().attr("tolist")()) {
        const bool read = half_sizes.size() % levels >= half_sizes.size() / levels;
        half_sizes.push_back(whole_number(entry, "half_sizes", read ? stand_ins : unread));
    }
    return half_sizes;
}

}  // namespace

const char* match_name(MatchMode match) {
    for (const auto& [mode, name] : kMatchNames) {
        if (mode == match) {
            return name;
        }
    }
    return "";
}

SynthesisArguments default_synthesis_arguments(bool holes) {
    const SynthesisSettings defaults = holes ? hole_filling_defaults() : finished_texture_defaults();
    const auto int_or_none = [](int value) -> py::object { return value == 0 ? py::object(py::none()) : py::object(py::int_(value)); };
    SynthesisArguments arguments;
    arguments.seed = defaults.seed ? py::object(py::int_(*defaults.seed)) : py::none();
    arguments.match = py::str(match_name(defaults.match));
    arguments.passes = py::int_(defaults.passes);
    arguments.levels = int_or_none(defaults.levels);
    arguments.half_sizes = py::none();
    arguments.k = py::int_(defaults.similar);
    arguments.threads = int_or_none(defaults.threads);
    return arguments;
}

int whole_number(py::handle value, const std::string& name, StandIns& stand_ins) {
    const py::int_ number = as_int(value, name);
    int overflow = 0;
    const long long wide = PyLong_AsLongLongAndOverflow(number.ptr(), &overflow);
    if (overflow == 0 && wide >= INT_MIN && wide <= INT_MAX) {
        return static_cast<int>(wide);
    }
    const int stand_in = overflow < 0 || (overflow == 0 && wide < 0) ? INT_MIN : INT_MAX;
    stand_ins.emplace_back(std::to_string(stand_in), std::string(py::str(py::handle(number))));
    return stand_in;
}

SynthesisSettings settings_from_arguments(const SynthesisArguments& arguments, StandIns& stand_ins) {
    SynthesisSettings settings = finished_texture_defaults();
    settings.seed = seed_from(arguments.seed);
    settings.match = match_from(arguments.match);
    // In the order the library checks them, so that the stand-ins are too.
    const int levels = arguments.levels.is_none() ? 0 : whole_number(arguments.levels, "levels", stand_ins);
    if (!arguments.half_sizes.is_none()) {
        const std::vector<int> half_sizes = half_sizes_from(arguments.half_sizes, stand_ins);
        const int made = static_cast<int>(std::lround(std::sqrt(static_cast<double>(half_sizes.size()))));
        if (levels != 0 && levels != made) {
            throw py::value_error("half_sizes: " + std::to_string(half_sizes.size()) + " half-sizes make " +
                                  std::to_string(made) + " levels, but levels=" +
                                  std::string(py::str(arguments.levels)));
        }
        settings.levels = made;
        settings.matrix = {};
        std::copy(half_sizes.begin(), half_sizes.end(), settings.matrix.entries.begin());
    } else {
        settings.levels = levels;  // 0: chosen to suit the exemplar; outside 1 to kMaxLevels: refused
        if (levels >= 1 && levels <= kMaxLevels) {
            settings.matrix = automatic_matrix(levels);
        }
    }
    settings.threads = arguments.threads.is_none() ? 0 : whole_number(arguments.threads, "threads", stand_ins);
    settings.passes = whole_number(arguments.passes, "passes", stand_ins);
    settings.similar = whole_number(arguments.k, "k", stand_ins);
    return settings;
}
