#include "app/command_line.h"

#include <charconv>
#include <limits>
#include <string_view>

#include "app/message_text.h"
#include "app/run_checks.h"

namespace {

// A whole decimal number: an optional sign and digits, nothing else, within the range of int.
bool parse_whole_number(std::string_view text, int& value) {
    std::string_view digits = text;
    if (!digits.empty() && digits.front() == '+') {
        digits.remove_prefix(1);
        if (!digits.empty() && digits.front() == '-') {
            return false;
        }
    }
    if (digits.empty()) {
        return false;
    }
    const char* end = digits.data() + digits.size();
    const auto [stop, status] = std::from_chars(digits.data(), end, value);
    return status == std::errc{} && stop == end;
}

std::string quoted(std::string_view text) {
    std::string result = "\"";
    result.append(printable(text)).append("\"");
    return result;
}

// Describes argument `index` (1-based) for a message, e.g. "W (argument 3)".
std::string argument_name(int index, int levels) {
    static const char* const names[] = {"", "input path", "output prefix", "W", "H", "L"};
    if (index <= 5) {
        return std::string(names[index]) + " (argument " + std::to_string(index) + ")";
    }
    const int entry = index - 6;
    return "half-size m" + std::to_string(entry / levels) + std::to_string(entry % levels) + " (argument " +
           std::to_string(index) + ")";
}

bool read_number(const char* const* argv, int index, int levels, int minimum, int maximum, int& value,
                 std::string& error) {
    const std::string_view text = argv[index];
    const std::string range = maximum == std::numeric_limits<int>::max()
                                  ? "of at least " + std::to_string(minimum)
                                  : "from " + std::to_string(minimum) + " to " + std::to_string(maximum);
    if (!parse_whole_number(text, value)) {
        error = argument_name(index, levels) + ": expected a whole number " + range + ", got " + quoted(text);
        return false;
    }
    if (value < minimum || value > maximum) {
        error = argument_name(index, levels) + ": expected a whole number " + range + ", got " + quoted(text);
        return false;
    }
    return true;
}

bool read_path(const char* const* argv, int index, std::string& path, std::string& error) {
    const std::string_view text = argv[index];
    if (text.size() > static_cast<std::size_t>(kMaxPathLength)) {
        error = argument_name(index, 0) + ": is " + std::to_string(text.size()) + " characters long, at most " +
                std::to_string(kMaxPathLength) + " are accepted";
        return false;
    }
    path = text;
    return true;
}

// The output prefix also names the files: its last part must leave room for "_<level>.bmp".
bool check_prefix_name(const std::string& prefix, std::string& error) {
    const std::size_t name_length = prefix.size() - (prefix.rfind('/') + 1);
    if (name_length > static_cast<std::size_t>(kMaxPrefixNameLength)) {
        error = argument_name(2, 0) + ": its last part is " + std::to_string(name_length) +
                " characters long, at most " + std::to_string(kMaxPrefixNameLength) +
                " leave room for \"_<level>.bmp\" in a file name";
        return false;
    }
    return true;
}

}  // namespace

CommandLineAction parse_command_line(int argc, const char* const* argv, RunSettings& settings, std::string& error) {
    if (argc <= 1) {
        return CommandLineAction::run;
    }
    const std::string_view first = argv[1];
    if (argc == 2 && (first == "--help" || first == "-h")) {
        return CommandLineAction::show_help;
    }
    if (argc == 2 && first == "--version") {
        return CommandLineAction::show_version;
    }
    if (argc == 2 && first.size() > 1 && first.front() == '-') {
        error = "option " + quoted(first) + ": unknown (the options are --help, -h and --version)";
        return CommandLineAction::refuse;
    }

    const int count = argc - 1;
    if (count < 5) {
        error = "command line: expected input prefix W H L and L x L half-sizes, got " + std::to_string(count) +
                (count == 1 ? " argument" : " arguments");
        return CommandLineAction::refuse;
    }
    RunSettings parsed;
    if (!read_number(argv, 5, 0, 1, kMaxLevels, parsed.levels, error)) {
        return CommandLineAction::refuse;
    }
    const int levels = parsed.levels;
    const int expected = 5 + levels * levels;
    if (count != expected) {
        error = "command line: L = " + std::to_string(levels) + " needs " + std::to_string(expected) +
                " arguments (input prefix W H L and " + std::to_string(levels * levels) + " half-sizes), got " +
                std::to_string(count);
        return CommandLineAction::refuse;
    }
    if (!read_path(argv, 1, parsed.input_path, error) || !read_path(argv, 2, parsed.output_prefix, error) ||
        !check_prefix_name(parsed.output_prefix, error) ||
        !read_number(argv, 3, levels, 1, std::numeric_limits<int>::max(), parsed.width, error) ||
        !read_number(argv, 4, levels, 1, std::numeric_limits<int>::max(), parsed.height, error)) {
        return CommandLineAction::refuse;
    }
    parsed.matrix = {};
    for (int i = 0; i < levels * levels; ++i) {
        if (!read_number(argv, 6 + i, levels, 0, kMaxHalfSize, parsed.matrix.entries[i], error)) {
            return CommandLineAction::refuse;
        }
    }
    error = check_settings(parsed);
    if (!error.empty()) {
        return CommandLineAction::refuse;
    }
    settings = parsed;
    return CommandLineAction::run;
}

std::string usage_hint() { return "usage: texsynth [input prefix W H L m00 m01 ...]; texsynth --help tells more"; }

std::string usage_text() {
    return R"(usage: texsynth [input prefix W H L m00 m01 ... m(L-1)(L-1)]
       texsynth --help | -h | --version

Synthesizes a texture of W x H pixels from an exemplar image, one level of an L-level image pyramid at a
time, coarse to fine. Every output pixel takes the colour of the exemplar pixel whose neighbourhood best
matches its own; reads wrap around, so the result tiles.

Without arguments it reads ./demo2.bmp and writes ./out_2.bmp, ./out_1.bmp and ./out_0.bmp at 256 x 256.
With arguments, all of them must be given:
  input     exemplar: an uncompressed 24-bit BMP file
  prefix    output files are named <prefix>_<level>.bmp; one file per level, coarsest first, each
            enlarged back to (about) W x H
  W H       output size in pixels, at least 1 each, W x H at most 262144 (512 x 512)
  L         number of pyramid levels, 1 to 4
  mNV       L x L neighbourhood half-sizes (0 to 64), row-major: row N is used for level N; mNN is the
            half-size of the causal neighbourhood at level N, mNV (V > N) that of the square taken at the
            coarser level V. Entries with V < N are not used but must be present.
The defaults are: ./demo2.bmp ./out 256 256 3  2 1 1  0 2 1  0 0 2

Prints "load <file>:<w>x<h>" and "write <file>:<w>x<h>" lines on standard output; errors go to standard
error. Exit status: 0 on success, 1 if the run failed or lost output, 2 for a bad command line.
)";
}
