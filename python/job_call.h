#pragma once

#include <pybind11/pybind11.h>

#include <string>
#include <utility>
#include <vector>

#include <texsynth/job.h>

namespace py = pybind11;

// Runs a job with the GIL released, so that other Python threads (and other jobs) run meanwhile. On the main
// thread a signal (Ctrl-C) is noticed within about a tenth of a second: the job stops and the signal handler's
// exception (KeyboardInterrupt) is raised. A refused job raises ValueError with its message, in which each pair of
// `stand_ins` (a value as the library was given it, the value as the caller gave it) is put back, in order.
JobResult call_job(const Job& job, const std::vector<std::pair<std::string, std::string>>& stand_ins = {});

// Raises OSError with "<path>: <why>", as the command line reports a file.
[[noreturn]] void raise_file_error(const std::string& path, const std::string& why);
