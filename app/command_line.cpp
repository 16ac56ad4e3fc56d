#include "app/command_line.h"

#include <charconv>
#include <limits>
#include <string_view>
#include <vector>

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

// The positional arguments, and where each stood on the command line.
struct Positionals {
    std::vector<std::string_view> values;
    std::vector<int> argv_index;
};

// Describes positional argument `p` (1-based) for a message, e.g. "W (argument 3)".
std::string argument_name(const Positionals& args, int p, int levels) {
    static const char* const names[] = {"", "input path", "output prefix", "W", "H", "L"};
    std::string name;
    if (p <= 5) {
        name = names[p];
    } else {
        const int entry = p - 6;
        name = "half-size m" + std::to_string(entry / levels) + std::to_string(entry % levels);
    }
    return name + " (argument " + std::to_string(args.argv_index[p - 1]) + ")";
}

bool read_number(const Positionals& args, int p, int levels, int minimum, int maximum, int& value,
                 std::string& error) {
    const std::string_view text = args.values[p - 1];
    const std::string range = maximum == std::numeric_limits<int>::max()
                                  ? "of at least " + std::to_string(minimum)
                                  : "from " + std::to_string(minimum) + " to " + std::to_string(maximum);
    if (!parse_whole_number(text, value) || value < minimum || value > maximum) {
        error = argument_name(args, p, levels) + ": expected a whole number " + range + ", got " + quoted(text);
        return false;
    }
    return true;
}

bool read_path(const Positionals& args, int p, std::string& path, std::string& error) {
    const std::string_view text = args.values[p - 1];
    if (text.size() > static_cast<std::size_t>(kMaxPathLength)) {
        error = argument_name(args, p, 0) + ": is " + std::to_string(text.size()) + " characters long, at most " +
                std::to_string(kMaxPathLength) + " are accepted";
        return false;
    }
    path = text;
    return true;
}

// Reads one option into `settings`; returns false with the reason if it is unknown or malformed.
bool read_option(std::string_view option, RunSettings& settings, CommandLineAction& action, std::string& error) {
    const std::size_t equals = option.find('=');
    const std::string_view name = option.substr(0, equals);
    const bool has_value = equals != std::string_view::npos;
    const std::string_view value = has_value ? option.substr(equals + 1) : std::string_view{};
    auto refuse = [&](const std::string& why) {
        error = "option " + quoted(option) + ": " + why;
        return false;
    };
    if ((name == "--help" || name == "-h" || name == "--version" || name == "--quiet") && has_value) {
        return refuse("takes no value");
    }
    if (name == "--help" || name == "-h") {
        action = CommandLineAction::show_help;
    } else if (name == "--version") {
        if (action != CommandLineAction::show_help) {
            action = CommandLineAction::show_version;
        }
    } else if (name == "--quiet") {
        settings.quiet = true;
    } else if (name == "--match") {
        if (value == "approximate") {
            settings.match = MatchMode::approximate;
        } else if (value == "exact") {
            settings.match = MatchMode::exact;
        } else if (value == "coherent") {
            settings.match = MatchMode::coherent;
        } else if (value == "refined") {
            settings.match = MatchMode::refined;
        } else {
            return refuse("expected --match=approximate, --match=exact, --match=coherent or --match=refined");
        }
    } else if (name == "--threads") {
        int threads = 0;
        if (!parse_whole_number(value, threads) || threads < 1 || threads > kMaxThreads) {
            return refuse("expected --threads=N with N from 1 to " + std::to_string(kMaxThreads));
        }
        settings.threads = threads;
    } else if (name == "--passes") {
        if (!parse_whole_number(value, settings.passes) || settings.passes < 1 || settings.passes > kMaxPasses) {
            return refuse("expected --passes=N with N from 1 to " + std::to_string(kMaxPasses));
        }
    } else if (name == "--k") {
        if (!parse_whole_number(value, settings.similar) || settings.similar < 0 || settings.similar > kMaxSimilar) {
            return refuse("expected --k=K with K from 0 to " + std::to_string(kMaxSimilar));
        }
    } else if (name == "--output") {
        if (value.empty()) {
            return refuse("expected --output=FILE");
        }
        if (value.size() > static_cast<std::size_t>(kMaxPathLength)) {
            return refuse("the file name is " + std::to_string(value.size()) + " characters long, at most " +
                          std::to_string(kMaxPathLength) + " are accepted");
        }
        settings.output_file = value;
    } else {
        return refuse("unknown option (texsynth --help lists the options)");
    }
    return true;
}

// The output prefix also names the files: its last part must leave room for "_<level>.bmp".
bool check_prefix_name(const Positionals& args, const std::string& prefix, std::string& error) {
    const std::size_t name_length = prefix.size() - (prefix.rfind('/') + 1);
    if (name_length > static_cast<std::size_t>(kMaxPrefixNameLength)) {
        error = argument_name(args, 2, 0) + ": its last part is " + std::to_string(name_length) +
                " characters long, at most " + std::to_string(kMaxPrefixNameLength) +
                " leave room for \"_<level>.bmp\" in a file name";
        return false;
    }
    return true;
}

}  // namespace

CommandLineAction parse_command_line(int argc, const char* const* argv, RunSettings& settings, std::string& error) {
    RunSettings parsed;
    CommandLineAction action = CommandLineAction::run;
    bool match_given = false;
    bool passes_given = false;
    // Options come first; "--" ends them, and so does the first argument that is not one.
    int i = 1;
    for (; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--") {
            ++i;
            break;
        }
        if (argument.size() < 2 || argument.front() != '-') {
            break;
        }
        if (!read_option(argument, parsed, action, error)) {
            return CommandLineAction::refuse;
        }
        match_given = match_given || argument.starts_with("--match=");
        passes_given = passes_given || argument.starts_with("--passes=");
    }
    if (action != CommandLineAction::run) {
        return action;
    }
    Positionals args;
    for (; i < argc; ++i) {
        args.values.emplace_back(argv[i]);
        args.argv_index.push_back(i);
    }
    const bool output_form = !parsed.output_file.empty();
    if (output_form) {
        // input W H [L m00 ...]: the output file stands in for the prefix, and the new way is the default.
        if (args.values.empty()) {
            error = "command line: --output needs input W H, optionally followed by L and L x L half-sizes";
            return CommandLineAction::refuse;
        }
        args.values.insert(args.values.begin() + 1, parsed.output_file);
        args.argv_index.insert(args.argv_index.begin() + 1, 0);
        if (!match_given) {
            parsed.match = MatchMode::refined;
        }
        if (!passes_given) {
            parsed.passes = kOutputFormPasses;
        }
    }

    const int count = static_cast<int>(args.values.size());
    if (output_form && count == 4) {
        parsed.automatic_levels = true;
        parsed.levels = 1;
        parsed.matrix = {};
        parsed.matrix.entries[0] = 2;
        if (!read_path(args, 1, parsed.input_path, error) ||
            !read_number(args, 3, 1, 1, std::numeric_limits<int>::max(), parsed.width, error) ||
            !read_number(args, 4, 1, 1, std::numeric_limits<int>::max(), parsed.height, error)) {
            return CommandLineAction::refuse;
        }
    } else if (output_form && count < 6) {
        error = "command line: --output needs input W H, optionally followed by L and L x L half-sizes, got " +
                std::to_string(count - 1) + (count == 2 ? " argument" : " arguments");
        return CommandLineAction::refuse;
    } else if (count > 0) {
        if (count < 5) {
            error = "command line: expected input prefix W H L and L x L half-sizes, got " + std::to_string(count) +
                    (count == 1 ? " argument" : " arguments");
            return CommandLineAction::refuse;
        }
        if (!read_number(args, 5, 0, 1, kMaxLevels, parsed.levels, error)) {
            return CommandLineAction::refuse;
        }
        const int levels = parsed.levels;
        const int expected = 5 + levels * levels;
        if (count != expected) {
            // The --output form has no prefix among its arguments.
            const int shown = output_form ? 1 : 0;
            error = "command line: L = " + std::to_string(levels) + " needs " + std::to_string(expected - shown) +
                    " arguments (input " + (output_form ? "" : "prefix ") + "W H L and " +
                    std::to_string(levels * levels) + " half-sizes), got " + std::to_string(count - shown);
            return CommandLineAction::refuse;
        }
        if (!read_path(args, 1, parsed.input_path, error) ||
            (!output_form &&
             (!read_path(args, 2, parsed.output_prefix, error) || !check_prefix_name(args, parsed.output_prefix, error))) ||
            !read_number(args, 3, levels, 1, std::numeric_limits<int>::max(), parsed.width, error) ||
            !read_number(args, 4, levels, 1, std::numeric_limits<int>::max(), parsed.height, error)) {
            return CommandLineAction::refuse;
        }
        parsed.matrix = {};
        for (int e = 0; e < levels * levels; ++e) {
            if (!read_number(args, 6 + e, levels, 0, kMaxHalfSize, parsed.matrix.entries[e], error)) {
                return CommandLineAction::refuse;
            }
        }
    }
    error = check_settings(parsed);
    if (!error.empty()) {
        return CommandLineAction::refuse;
    }
    settings = parsed;
    return CommandLineAction::run;
}

std::string usage_hint() {
    return "usage: texsynth [options] [input prefix W H L m00 m01 ...]; texsynth --help tells more";
}

std::string usage_text() {
    return R"(usage: texsynth [options] [input prefix W H L m00 m01 ... m(L-1)(L-1)]
       texsynth [options] --output=FILE input W H [L m00 m01 ... m(L-1)(L-1)]

Synthesizes a texture of W x H pixels from an exemplar image, one level of an L-level image pyramid at a
time, coarse to fine. Every output pixel takes the colour of the exemplar pixel whose neighbourhood best
matches its own; reads wrap around, so the result tiles. The same inputs always give the same files.

Without arguments it reads ./demo2.bmp and writes ./out_2.bmp, ./out_1.bmp and ./out_0.bmp at 256 x 256.
With arguments, all of them must be given:
  input     exemplar: an uncompressed 24-bit BMP file (its pyramid at most 3145728 bytes, about 886 x 886)
  prefix    output files are named <prefix>_<level>.bmp; one file per level, coarsest first, each
            enlarged back to (about) W x H
  W H       output size in pixels, at least 1 each (W x H up to about 536 million)
  L         number of pyramid levels, 1 to 4
  mNV       L x L neighbourhood half-sizes (0 to 64), row-major: row N is used for level N; mNN is the
            half-size of the causal neighbourhood at level N, mNV (V > N) that of the square taken at the
            coarser level V. Entries with V < N are not used but must be present.
The defaults are: ./demo2.bmp ./out 256 256 3  2 1 1  0 2 1  0 0 2

Options (before the arguments; "--" ends them):
  --match=approximate  take a neighbour at most 3 times as far as the nearest one, from a kd-tree
                       (the default)
  --match=exact        take the nearest neighbour (ties: the first in exemplar order); usually faster
  --match=coherent     take the nearest among the exemplar pixels that continue where the neighbours were
                       copied from, their K most similar ones and the one under the coarser level's pixel:
                       much faster, and copies larger coherent pieces of the exemplar
  --match=refined      copy coherently as --match=coherent, then correct every pixel against its whole
                       surroundings; every exemplar pixel is a candidate (reads wrap around where the
                       exemplar tiles by itself). The default of the --output form
  --k=K                similar candidates per source for --match=coherent (0 to 16; default 0)
  --passes=N           passes over every level (1 to 16; default 1): each further pass matches every pixel
                       again against the pass before, all around, which mends the wrap-around seam
  --threads=N          threads for the exact and coherent searches (1 to 64; default: one per processor
                       core); the files are the same for any N
  --output=FILE        write only the finished texture, to FILE; the arguments are then
                       input W H [L m00 ...], without L the levels and half-sizes suit the exemplar's size,
                       and the defaults are --match=refined --passes=3
  --quiet              no progress line (it is shown only when standard error is a terminal)
  --help, -h           this text
  --version            the version

Prints "load <file>:<w>x<h>" and "write <file>:<w>x<h>" lines on standard output; errors go to standard
error. Exit status: 0 on success, 1 if the run failed or lost output, 2 for a bad command line.
)";
}
