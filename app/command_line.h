#pragma once

#include <string>

#include "app/run_settings.h"

enum class CommandLineAction { run, show_help, show_version, refuse };

// Reads the command line: no arguments keeps the defaults; otherwise exactly
//   input prefix W H L m00 m01 .. m(L-1)(L-1)
// with whole decimal numbers, or a single --help, -h or --version. Everything a run can check without
// reading the exemplar is checked here; a refusal leaves the reason in `error`, naming the argument.
CommandLineAction parse_command_line(int argc, const char* const* argv, RunSettings& settings, std::string& error);

// The text printed by --help.
std::string usage_text();

// One line pointing at --help, printed after a refusal.
std::string usage_hint();
