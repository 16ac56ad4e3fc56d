#pragma once

#include <pybind11/pybind11.h>

#include <string>
#include <utility>
#include <vector>

#include <texsynth/settings.h>

namespace py = pybind11;

// Values beyond the range of int are handed to the library as the nearest int, which every check refuses just
// as it would the value given; each pair keeps (that int as text, the value as given) so that the library's
// message can name the value given. In the order the library checks them.
using StandIns = std::vector<std::pair<std::string, std::string>>;

// The keyword arguments that say how to synthesize, with the command line's names.
struct SynthesisArguments {
    py::object seed;
    py::object match;
    py::object passes;
    py::object levels;
    py::object half_sizes;
    py::object k;
    py::object threads;
};

// The arguments' defaults, those of the command line's finished-file form (finished_texture_defaults), or
// with `holes`, of its --mask and --make-tileable (hole_filling_defaults).
SynthesisArguments default_synthesis_arguments(bool holes = false);

// The name of a way of matching, as --match spells it.
const char* match_name(MatchMode match);

// The settings the arguments ask for. Raises TypeError for a value of the wrong kind, ValueError for a match
// mode the library does not have, a seed outside 32 bits, or half-sizes that do not make a matrix (or not
// the number of levels given); the ranges of the rest are the library's to check.
SynthesisSettings settings_from_arguments(const SynthesisArguments& arguments, StandIns& stand_ins);

// A whole number (a Python int or a NumPy integer, not a bool or a float) as an int; see StandIns.
int whole_number(py::handle value, const std::string& name, StandIns& stand_ins);
