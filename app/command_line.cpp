#include "app/command_line.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <utility>
#include <limits>
#include <string_view>
#include <vector>

#include <texsynth/job.h>
#include <texsynth/settings.h>

#include "app/message_text.h"

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

// A decimal number from 0 to `maximum`, such as 2, 0.5 or .25: digits with at most one point, nothing else.
bool parse_weight(std::string_view text, double maximum, double& value) {
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string_view::npos) {
        return false;
    }
    const char* end = text.data() + text.size();
    const auto [stop, status] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
    return status == std::errc{} && stop == end && value <= maximum;
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

// Which options the command line gave, where the two forms differ on them or their defaults.
struct GivenOptions {
    bool match = false;
    bool passes = false;
    bool size = false;
    bool levels = false;
    bool half_sizes = false;
    bool seed = false;
    std::vector<std::string> changing_result;  // options that change what is synthesized, as typed
};

// "WxH" with whole numbers of at least 1.
bool parse_size(std::string_view text, int& width, int& height) {
    const std::size_t x = text.find('x');
    return x != std::string_view::npos && parse_whole_number(text.substr(0, x), width) &&
           parse_whole_number(text.substr(x + 1), height) && width >= 1 && height >= 1;
}

// Whole numbers from `minimum` to `maximum` separated by commas.
bool parse_number_list(std::string_view text, int minimum, int maximum, std::vector<int>& values) {
    values.clear();
    while (true) {
        const std::size_t comma = text.find(',');
        int value = 0;
        if (!parse_whole_number(text.substr(0, comma), value) || value < minimum || value > maximum) {
            return false;
        }
        values.push_back(value);
        if (comma == std::string_view::npos) {
            return true;
        }
        text.remove_prefix(comma + 1);
    }
}

// A list of half-sizes separated by commas, each from 0 to kMaxHalfSize, as many as fill an L x L matrix.
bool parse_half_sizes(std::string_view text, std::vector<int>& values) {
    if (!parse_number_list(text, 0, kMaxHalfSize, values)) {
        return false;
    }
    for (int levels = 1; levels <= kMaxLevels; ++levels) {
        if (static_cast<int>(values.size()) == levels * levels) {
            return true;
        }
    }
    return false;
}

// "N" or "LEFT,TOP,RIGHT,BOTTOM": whole numbers of pixels from 0 to kMaxBorderWidth, not all 0.
bool parse_border(std::string_view text, Border& border) {
    std::vector<int> values;
    if (!parse_number_list(text, 0, kMaxBorderWidth, values)) {
        return false;
    }
    if (values.size() == 1) {
        values.assign(4, values[0]);
    }
    if (values.size() != 4 || std::count(values.begin(), values.end(), 0) == 4) {
        return false;
    }
    border = {values[0], values[1], values[2], values[3]};
    return true;
}

// Whether a file name ends in `extension` (".png"), in any case.
bool has_extension(std::string_view path, std::string_view extension) {
    if (path.size() <= extension.size()) {
        return false;
    }
    const std::string_view end = path.substr(path.size() - extension.size());
    for (std::size_t i = 0; i < end.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(end[i])) != extension[i]) {
            return false;
        }
    }
    return true;
}

// Reads one option into `settings`; returns false with the reason if it is unknown or malformed.
bool read_option(std::string_view option, RunSettings& settings, GivenOptions& given, std::vector<int>& half_sizes,
                 CommandLineAction& action, std::string& error) {
    const std::size_t equals = option.find('=');
    const std::string_view name = option.substr(0, equals);
    const bool has_value = equals != std::string_view::npos;
    const std::string_view value = has_value ? option.substr(equals + 1) : std::string_view{};
    auto refuse = [&](const std::string& why) {
        error = "option " + quoted(option) + ": " + why;
        return false;
    };
    auto read_file_name = [&](std::string& path, const char* what) {
        if (value.empty()) {
            return refuse(std::string("expected ") + what);
        }
        if (value.size() > static_cast<std::size_t>(kMaxPathLength)) {
            return refuse("the file name is " + std::to_string(value.size()) + " characters long, at most " +
                          std::to_string(kMaxPathLength) + " are accepted");
        }
        path = value;
        return true;
    };
    if ((name == "--help" || name == "-h" || name == "--version" || name == "--quiet") && has_value) {
        return refuse("takes no value");
    }
    const bool changes_result = name == "--size" || name == "--levels" || name == "--half-sizes" ||
                                name == "--seed" || name == "--match" || name == "--passes" || name == "--k" ||
                                name == "--save-map" || name == "--mask" || name == "--exemplar" ||
                                name == "--make-tileable" || name == "--extend" || name == "--sample-mask" ||
                                name == "--guide" || name == "--target-guide" || name == "--guide-weight" ||
                                name == "--transfer" || name == "--match-also";
    if (changes_result) {
        given.changing_result.emplace_back(name);
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
        given.match = true;
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
        given.passes = true;
    } else if (name == "--k") {
        if (!parse_whole_number(value, settings.similar) || settings.similar < 0 || settings.similar > kMaxSimilar) {
            return refuse("expected --k=K with K from 0 to " + std::to_string(kMaxSimilar));
        }
    } else if (name == "--seed") {
        unsigned long long seed = 0;
        const auto [stop, status] = std::from_chars(value.data(), value.data() + value.size(), seed);
        if (value.empty() || status != std::errc{} || stop != value.data() + value.size() || seed > 0xFFFF'FFFFULL) {
            return refuse("expected --seed=N with N from 0 to 4294967295");
        }
        settings.seed = static_cast<std::uint32_t>(seed);
        given.seed = true;
    } else if (name == "--size") {
        if (!parse_size(value, settings.width, settings.height)) {
            return refuse("expected --size=WxH with W and H whole numbers of at least 1, e.g. --size=512x512");
        }
        given.size = true;
    } else if (name == "--levels") {
        if (!parse_whole_number(value, settings.levels) || settings.levels < 1 || settings.levels > kMaxLevels) {
            return refuse("expected --levels=L with L from 1 to " + std::to_string(kMaxLevels));
        }
        given.levels = true;
    } else if (name == "--half-sizes") {
        if (!parse_half_sizes(value, half_sizes)) {
            return refuse("expected L x L half-sizes from 0 to " + std::to_string(kMaxHalfSize) +
                          " separated by commas (1, 4, 9 or 16 of them), e.g. --half-sizes=2,1,1,0,2,1,0,0,2");
        }
        given.half_sizes = true;
    } else if (name == "--output") {
        if (!read_file_name(settings.output_file, "--output=FILE")) {
            return false;
        }
        if (!has_extension(value, ".png") && !has_extension(value, ".bmp")) {
            return refuse("the output file's name must end in .png or .bmp, which say how it is written");
        }
    } else if (name == "--save-map") {
        if (!read_file_name(settings.save_map, "--save-map=FILE.png")) {
            return false;
        }
        if (!has_extension(value, ".png")) {
            return refuse("a source map is written as a 16-bit PNG: its name must end in .png");
        }
    } else if (name == "--apply-map") {
        if (!read_file_name(settings.apply_map, "--apply-map=MAP.png")) {
            return false;
        }
    } else if (name == "--mask") {
        if (!read_file_name(settings.mask_path, "--mask=MASK")) {
            return false;
        }
    } else if (name == "--exemplar") {
        if (!read_file_name(settings.exemplar_path, "--exemplar=FILE")) {
            return false;
        }
    } else if (name == "--sample-mask") {
        if (!read_file_name(settings.sample_masks.emplace_back(), "--sample-mask=MASK")) {
            return false;
        }
    } else if (name == "--guide") {
        if (!read_file_name(settings.guides.emplace_back(), "--guide=GUIDE")) {
            return false;
        }
    } else if (name == "--target-guide") {
        if (!read_file_name(settings.target_guide, "--target-guide=GUIDE")) {
            return false;
        }
    } else if (name == "--transfer") {
        if (!read_file_name(settings.transfer_target, "--transfer=TARGET")) {
            return false;
        }
    } else if (name == "--guide-weight") {
        double weight = 0;
        if (!parse_weight(value, kMaxMatchWeight, weight)) {
            return refuse("expected --guide-weight=W with W a number from 0 to " +
                          std::to_string(static_cast<int>(kMaxMatchWeight)));
        }
        settings.guide_weight = weight;
    } else if (name == "--match-also") {
        // MAP[:WEIGHT]: a colon followed by a number at the end is the weight.
        RunSettings::MatchAlso map;
        const std::size_t colon = value.rfind(':');
        std::string_view path = value;
        if (colon != std::string_view::npos && colon + 1 < value.size() &&
            value.substr(colon + 1).find_first_not_of("0123456789.") == std::string_view::npos) {
            if (!parse_weight(value.substr(colon + 1), kMaxMatchWeight, map.weight)) {
                return refuse("expected --match-also=MAP or --match-also=MAP:WEIGHT with WEIGHT a number from 0 to " +
                              std::to_string(static_cast<int>(kMaxMatchWeight)));
            }
            path = value.substr(0, colon);
        }
        if (path.empty()) {
            return refuse("expected --match-also=MAP or --match-also=MAP:WEIGHT");
        }
        if (path.size() > static_cast<std::size_t>(kMaxPathLength)) {
            return refuse("the file name is " + std::to_string(path.size()) + " characters long, at most " +
                          std::to_string(kMaxPathLength) + " are accepted");
        }
        map.path = path;
        settings.match_also.push_back(map);
    } else if (name == "--make-tileable") {
        settings.make_tileable = true;
        if (has_value && (!parse_whole_number(value, settings.band) || settings.band < 1)) {
            return refuse("expected --make-tileable or --make-tileable=BAND with BAND a width of at least 1 pixel");
        }
    } else if (name == "--extend") {
        settings.extend = true;
        if (!parse_border(value, settings.border)) {
            return refuse("expected --extend=N or --extend=LEFT,TOP,RIGHT,BOTTOM with whole numbers of pixels from 0 "
                          "to " + std::to_string(kMaxBorderWidth) + ", not all 0");
        }
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

namespace {

std::string count_text(std::size_t count, const char* thing) {
    return std::to_string(count) + " " + thing + (count == 1 ? "" : "s");
}

// What the options that say what is made where ask of each other and of the inputs.
bool check_control_options(const RunSettings& parsed, const GivenOptions& given, std::string& error) {
    const std::size_t inputs = parsed.inputs.size();
    const bool holes = !parsed.mask_path.empty() || parsed.make_tileable || parsed.extend;
    const bool transfer = !parsed.transfer_target.empty();
    const char* hole_option = parsed.make_tileable ? "--make-tileable" : parsed.extend ? "--extend" : "--mask";
    const std::pair<const char*, bool> control[] = {
        {"--transfer", transfer},
        // A fill and a tiling take one sample mask, of the picture their new pixels come from.
        {"--sample-mask", !parsed.sample_masks.empty() && (parsed.extend || !parsed.apply_map.empty())},
        {"--guide", !parsed.guides.empty()},
        {"--target-guide", !parsed.target_guide.empty()},
        {"--guide-weight", parsed.guide_weight.has_value()},
        {"--match-also", !parsed.match_also.empty()},
    };
    if (holes || !parsed.apply_map.empty()) {
        for (const auto& [option, is_given] : control) {
            if (is_given) {
                error = std::string("option \"") + option + "\": not with " +
                        (!parsed.apply_map.empty() ? "--apply-map, which only samples the input through the map"
                                                   : hole_option);
                return false;
            }
        }
        if (inputs != 1 && parsed.apply_map.empty()) {
            error = std::string("command line: ") + hole_option + " takes exactly one input file, got " +
                    count_text(inputs, "argument");
            return false;
        }
        if (parsed.sample_masks.size() > 1) {
            error = std::string("option \"--sample-mask\": ") + hole_option + " takes one, of the picture its new " +
                    "pixels come from (the input, or --exemplar), got " + std::to_string(parsed.sample_masks.size());
            return false;
        }
        return true;
    }
    if (transfer) {
        if (given.size) {
            error = "option \"--size\": has no meaning with --transfer: the result has the target's size";
            return false;
        }
        if (!parsed.guides.empty() || !parsed.target_guide.empty()) {
            error = std::string("option \"") + (parsed.guides.empty() ? "--target-guide" : "--guide") +
                    "\": not with --transfer, whose guides are the light and dark of the target and the exemplar";
            return false;
        }
    }
    if (!parsed.guides.empty() && parsed.target_guide.empty()) {
        error = "option \"--guide\": needs --target-guide=GUIDE, the layout wanted";
        return false;
    }
    if (parsed.guides.empty() && !parsed.target_guide.empty()) {
        error = "option \"--target-guide\": needs a --guide=GUIDE for every exemplar, saying where each shows what";
        return false;
    }
    if (parsed.guide_weight && parsed.guides.empty() && !transfer) {
        error = "option \"--guide-weight\": only with --guide and --target-guide, or with --transfer";
        return false;
    }
    for (const auto& [option, count] : {std::pair{"--guide", parsed.guides.size()},
                                        std::pair{"--sample-mask", parsed.sample_masks.size()}}) {
        if (count != 0 && count != inputs) {
            error = std::string("option \"") + option + "\": expected one for every exemplar (" +
                    std::to_string(inputs) + "), got " + std::to_string(count);
            return false;
        }
    }
    const std::size_t maps = parsed.match_also.size();
    if (maps % inputs != 0) {
        error = "option \"--match-also\": expected one map of each kind for every exemplar (a multiple of " +
                std::to_string(inputs) + "), got " + std::to_string(maps);
        return false;
    }
    for (std::size_t i = 0; i < maps; ++i) {
        if (parsed.match_also[i].weight != parsed.match_also[i - i % inputs].weight) {
            error = "option \"--match-also=" + printable(parsed.match_also[i].path) +
                    "\": the maps of one kind weigh the same (every " + std::to_string(inputs) +
                    " in a row are one kind, one map per exemplar)";
            return false;
        }
    }
    return true;
}

// The finished-file form: --output=FILE (or -o FILE) and its inputs.
bool finish_output_form(const Positionals& args, const GivenOptions& given, const std::vector<int>& half_sizes,
                        RunSettings& parsed, std::string& error) {
    if (args.values.empty()) {
        error = "command line: --output takes an input file (or several exemplars), got 0 arguments";
        return false;
    }
    parsed.inputs.resize(args.values.size());
    if (!read_path(args, 1, parsed.inputs[0], error)) {
        return false;
    }
    for (std::size_t i = 1; i < args.values.size(); ++i) {
        const std::string_view text = args.values[i];
        if (text.size() > static_cast<std::size_t>(kMaxPathLength)) {
            error = "input " + std::to_string(i + 1) + " (argument " + std::to_string(args.argv_index[i]) + "): is " +
                    std::to_string(text.size()) + " characters long, at most " + std::to_string(kMaxPathLength) +
                    " are accepted";
            return false;
        }
        parsed.inputs[i] = text;
    }
    parsed.input_path = parsed.inputs[0];
    if (!check_control_options(parsed, given, error)) {
        return false;
    }
    if (!parsed.exemplar_path.empty() && parsed.mask_path.empty() && !parsed.extend) {
        error = "option \"--exemplar\": only with --mask=MASK or --extend, whose new pixels it gives";
        return false;
    }
    if (parsed.extend && (!parsed.mask_path.empty() || parsed.make_tileable)) {
        // A grown picture does not tile: its reads stop at its edges, and its new border is made to fit the
        // picture, not the border across from it.
        error = std::string("option \"--extend\": not with ") + (parsed.make_tileable ? "--make-tileable" : "--mask") +
                "; grow the picture first, then " + (parsed.make_tileable ? "make the result tile" : "fill its hole");
        return false;
    }
    if (!parsed.mask_path.empty() || parsed.make_tileable || parsed.extend) {
        if (!parsed.mask_path.empty() && parsed.make_tileable) {
            error = "option \"--make-tileable\": not with --mask; fill the hole first, then make the result tile";
            return false;
        }
        if (given.size) {
            error = std::string("option \"--size\": has no meaning with ") +
                    (parsed.extend ? "--extend: the result is the input grown by its border"
                                   : std::string(parsed.make_tileable ? "--make-tileable" : "--mask") +
                                         ": the result has the input's size");
            return false;
        }
    }
    if (!parsed.apply_map.empty()) {
        if (!given.changing_result.empty()) {
            error = "option " + quoted(given.changing_result.front()) +
                    ": has no meaning with --apply-map, which only samples the input through the map";
            return false;
        }
        return true;
    }
    if (!given.size) {
        // A target guide or a transfer's target gives the size once it is read.
        const bool sized_by_picture = !parsed.target_guide.empty() || !parsed.transfer_target.empty();
        parsed.width = sized_by_picture ? 0 : kDefaultOutputSide;
        parsed.height = parsed.width;
    }
    const bool holes = !parsed.mask_path.empty() || parsed.make_tileable || parsed.extend;
    const SynthesisSettings defaults = holes ? hole_filling_defaults() : finished_texture_defaults();
    if (!given.match) {
        parsed.match = defaults.match;
    }
    if (!given.passes) {
        parsed.passes = defaults.passes;
    }
    parsed.typical_seam = defaults.typical_seam;
    if (given.half_sizes) {
        const int levels = static_cast<int>(std::lround(std::sqrt(static_cast<double>(half_sizes.size()))));
        if (given.levels && levels != parsed.levels) {
            error = "option \"--half-sizes\": " + std::to_string(half_sizes.size()) + " half-sizes make " +
                    std::to_string(levels) + " levels, but --levels=" + std::to_string(parsed.levels);
            return false;
        }
        parsed.levels = levels;
        parsed.matrix = {};
        std::copy(half_sizes.begin(), half_sizes.end(), parsed.matrix.entries.begin());
    } else if (given.levels) {
        parsed.matrix = automatic_matrix(parsed.levels);
    } else {
        parsed.levels = defaults.levels;  // 0: chosen once the exemplar's size is known
        return true;
    }
    if (holes || parsed.width == 0) {
        return true;  // the output's size follows a picture's, known once it is read
    }
    error = check_settings(parsed, parsed.width, parsed.height);
    return error.empty();
}

// The positional form: no arguments, or all of input prefix W H L m00 ...
bool finish_positional_form(const Positionals& args, const GivenOptions& given, RunSettings& parsed,
                            std::string& error) {
    for (const auto& [option, is_given] : {std::pair{"--size", given.size}, std::pair{"--levels", given.levels},
                                           std::pair{"--half-sizes", given.half_sizes},
                                           std::pair{"--apply-map", !parsed.apply_map.empty()},
                                           std::pair{"--mask", !parsed.mask_path.empty()},
                                           std::pair{"--exemplar", !parsed.exemplar_path.empty()},
                                           std::pair{"--make-tileable", parsed.make_tileable},
                                           std::pair{"--extend", parsed.extend},
                                           std::pair{"--sample-mask", !parsed.sample_masks.empty()},
                                           std::pair{"--guide", !parsed.guides.empty()},
                                           std::pair{"--target-guide", !parsed.target_guide.empty()},
                                           std::pair{"--guide-weight", parsed.guide_weight.has_value()},
                                           std::pair{"--transfer", !parsed.transfer_target.empty()},
                                           std::pair{"--match-also", !parsed.match_also.empty()}}) {
        if (is_given) {
            error = std::string("option \"") + option + "\": only with --output=FILE INPUT (the positional form " +
                    "makes a new texture and takes its size and levels as arguments)";
            return false;
        }
    }
    const int count = static_cast<int>(args.values.size());
    if (count > 0) {
        if (count < 5) {
            error = "command line: expected input prefix W H L and L x L half-sizes, got " + std::to_string(count) +
                    (count == 1 ? " argument" : " arguments");
            return false;
        }
        if (!read_number(args, 5, 0, 1, kMaxLevels, parsed.levels, error)) {
            return false;
        }
        const int levels = parsed.levels;
        const int expected = 5 + levels * levels;
        if (count != expected) {
            error = "command line: L = " + std::to_string(levels) + " needs " + std::to_string(expected) +
                    " arguments (input prefix W H L and " + std::to_string(levels * levels) + " half-sizes), got " +
                    std::to_string(count);
            return false;
        }
        if (!read_path(args, 1, parsed.input_path, error) || !read_path(args, 2, parsed.output_prefix, error) ||
            !check_prefix_name(args, parsed.output_prefix, error) ||
            !read_number(args, 3, levels, 1, std::numeric_limits<int>::max(), parsed.width, error) ||
            !read_number(args, 4, levels, 1, std::numeric_limits<int>::max(), parsed.height, error)) {
            return false;
        }
        parsed.matrix = {};
        for (int e = 0; e < levels * levels; ++e) {
            if (!read_number(args, 6 + e, levels, 0, kMaxHalfSize, parsed.matrix.entries[e], error)) {
                return false;
            }
        }
    }
    error = check_settings(parsed, parsed.width, parsed.height);
    return error.empty();
}

}  // namespace

CommandLineAction parse_command_line(int argc, const char* const* argv, RunSettings& settings, std::string& error) {
    RunSettings parsed;
    GivenOptions given;
    std::vector<int> half_sizes;
    CommandLineAction action = CommandLineAction::run;
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
        std::string option(argument);
        if (argument == "-o") {
            if (i + 1 >= argc) {
                error = "option \"-o\": expected a file name after it";
                return CommandLineAction::refuse;
            }
            option = std::string("--output=") + argv[++i];
        }
        if (!read_option(option, parsed, given, half_sizes, action, error)) {
            return CommandLineAction::refuse;
        }
    }
    if (action != CommandLineAction::run) {
        return action;
    }
    Positionals args;
    for (; i < argc; ++i) {
        args.values.emplace_back(argv[i]);
        args.argv_index.push_back(i);
    }
    const bool finished = parsed.output_file.empty() ? finish_positional_form(args, given, parsed, error)
                                                     : finish_output_form(args, given, half_sizes, parsed, error);
    if (!finished) {
        return CommandLineAction::refuse;
    }
    settings = parsed;
    return CommandLineAction::run;
}

std::string usage_hint() {
    return "usage: texsynth [options] --output=FILE INPUT, or texsynth [options] [input prefix W H L m00 m01 ...]; "
           "texsynth --help tells more";
}

std::string usage_text() {
    return R"(usage: texsynth [options] --output=FILE INPUT [INPUT ...]
       texsynth [options] --guide=GUIDE ... --target-guide=GUIDE --output=FILE INPUT [INPUT ...]
       texsynth [options] --transfer=TARGET --output=FILE STYLE
       texsynth [options] --mask=MASK [--exemplar=FILE] --output=FILE INPUT
       texsynth [options] --make-tileable[=BAND] --output=FILE INPUT
       texsynth [options] --extend=N|L,T,R,B [--exemplar=FILE] --output=FILE INPUT
       texsynth [options] --apply-map=MAP.png --output=FILE INPUT [INPUT ...]
       texsynth [options] [input prefix W H L m00 m01 ... m(L-1)(L-1)]

Synthesizes a texture from an exemplar image, one level of an image pyramid at a time, coarse to fine.
Every output pixel is a pixel of the exemplar whose neighbourhood best matches its own; reads wrap around, so
the result tiles. The same inputs (and seed) always give the same bytes, on any number of threads.
Exemplars may be PNG (any colour type and depth; transparency is kept), JPEG (colour or grey) or
uncompressed 24-bit BMP, recognised by their content.

--output=FILE INPUT (or -o FILE INPUT) writes one finished texture to FILE, a .png or a .bmp (a result with
transparency needs .png). Its defaults aim at the best result quickly:
  --size=WxH           the output's size (default 512x512)
  --levels=L           pyramid levels, 1 to 4 (default: as many as keep the exemplar's coarsest level at
                       least 10 pixels a side for a texture, 12 otherwise, fewer if the size is too small
                       for them; at most 3 with --mask, --make-tileable or --extend, and 2 for a hole too
                       thin at the coarsest)
  --half-sizes=LIST    L x L neighbourhood half-sizes separated by commas, row-major, as mNV below
                       (default: 2 for the finest level's own part, 3 for each level's between it and the
                       coarsest in a texture, 2 otherwise, 4 for the coarsest, 1 for each coarser level's
                       square; where --levels is given, 2 between them too)
  --match=refined --passes=3 unless --match or --passes say otherwise (--passes=5 with --mask,
                       --make-tileable or --extend)
Several inputs are several exemplars synthesized together: every pixel of each is a candidate, and the
result remixes them (the source map's blue says which one each pixel came from, 0 for the first). What is
made where, for a texture or a transfer (options given once per exemplar take them in the inputs' order):
  --sample-mask=MASK   a picture of the exemplar's size whose non-black pixels may be copied; no pixel of
                       the result comes from elsewhere (one per exemplar; with --mask or --make-tileable,
                       one of the picture the new pixels come from)
  --guide=GUIDE        a picture of the exemplar's size labelling its regions (e.g. white where it shows
                       gravel, black where grass); with --target-guide=GUIDE, the layout wanted, whose size
                       the result takes unless --size says otherwise (then it must be that size). Guides are
                       compared as extra channels of every neighbourhood, at every level
  --guide-weight=W     how much the guides count beside the colour, 0 to 64 (default 0.02; 1 with
                       --transfer)
  --match-also=MAP[:WEIGHT]  a companion map of the exemplar (height, normal, roughness: its size) matched
                       with the colour, counting WEIGHT times as much (0 to 64, default 1), so that the
                       structure it carries steers the matching; repeatable (with several exemplars, one map
                       of a kind for each, in order). --save-map's map then gives every companion output
                       through --apply-map
--transfer=TARGET with --output=FILE STYLE re-makes the picture TARGET of STYLE's pixels: the result has
TARGET's size and follows its light and dark (the guides are the two pictures' luminance, STYLE's mapped onto
TARGET's range), and every pixel is a pixel of STYLE.
--mask=MASK with --output=FILE INPUT fills a hole: MASK is a picture of INPUT's size whose non-black pixels
mark what to replace; those pixels are synthesized anew from the rest of INPUT (never from the hole), coarse
to fine, and every other pixel stays as it is. Candidates come from around the hole (a margin as wide as
the hole's larger side, at least 32 pixels), so a large photo takes no longer than a small one.
  --exemplar=FILE      take the hole's pixels from FILE instead
--make-tileable[=BAND] with --output=FILE INPUT makes INPUT tile: the band of BAND pixels along its edges
(default: an eighth of its shorter side; at most a quarter, so its middle half stays) is synthesized anew
from its middle with reads that wrap around, so that copies of it side by side show no seam.
--extend=N or --extend=LEFT,TOP,RIGHT,BOTTOM with --output=FILE INPUT grows INPUT by N pixels on every
side, or by as many as given on each: the new border is synthesized from strips of INPUT along its edges
(or from --exemplar=FILE) to continue it without a visible join, and INPUT's pixels stay as they are. A
side grows by at most INPUT's width (left, right) or height (top, bottom); the time follows the border's
size, not INPUT's. Not with --mask or --make-tileable (the result does not tile).
--mask and --make-tileable keep INPUT's size; all three take the other options below (not --size;
--match=approximate cannot).
--apply-map=MAP.png with --output=FILE INPUT synthesizes nothing: it samples INPUT (an image of the
exemplar's size, such as its normal map) through a map saved by --save-map, so that every map of a
material is made the same way as its colour; with several exemplars, one picture for each, in order.

Without arguments the positional form reads ./demo2.bmp and writes ./out_2.bmp, ./out_1.bmp and
./out_0.bmp at 256 x 256. With arguments, all of them must be given:
  input     the exemplar (its pyramid at most 3145728 bytes, about 886 x 886 pixels)
  prefix    output files are named <prefix>_<level>.bmp; one file per level, coarsest first, each
            enlarged back to (about) W x H
  W H       output size in pixels, at least 1 each (W x H up to about 536 million)
  L         number of pyramid levels, 1 to 4
  mNV       L x L neighbourhood half-sizes (0 to 64), row-major: row N is used for level N; mNN is the
            half-size of the causal neighbourhood at level N, mNV (V > N) that of the square taken at the
            coarser level V. Entries with V < N are not used but must be present.
The defaults are: ./demo2.bmp ./out 256 256 3  2 1 1  0 2 1  0 0 2

Options (before the arguments; "--" ends them):
  --seed=N             start from different noise, for a different texture of the same kind
                       (0 to 4294967295; without it, the noise texsynth has always used); a fill,
                       which reads no noise, takes other copies where they fit about as well (with
                       --match=refined)
  --save-map=FILE.png  also write a 16-bit RGB PNG of the output's size whose red and green hold the
                       exemplar column and row each output pixel was copied from, and blue the exemplar
                       (0 for the first)
  --match=approximate  take a neighbour at most 3 times as far as the nearest one, from a kd-tree
                       (the positional form's default)
  --match=exact        take the nearest neighbour (ties: the first in exemplar order); usually faster
  --match=coherent     take the nearest among the exemplar pixels that continue where the neighbours were
                       copied from, their K most similar ones and the one under the coarser level's pixel:
                       much faster, and copies larger coherent pieces of the exemplar
  --match=refined      copy coherently, then correct every pixel against the whole square around it, with
                       every exemplar pixel a candidate (reads wrap around a regular pattern that
                       tiles by itself); finer levels start from the coarser one's result; in a
                       texture, parts of the exemplar the coarse levels leave out are grafted in, and
                       the seams between copies are moved to where the copies differ least (the
                       --output default)
  --k=K                similar candidates per source for --match=coherent (0 to 16; default 0)
  --passes=N           passes over every level (1 to 16; positional default 1): each further pass matches
                       every pixel again against the pass before, all around, which mends the wrap-around seam
  --threads=N          threads for the exact and coherent searches (1 to 64; default: one per processor
                       core); the files are the same for any N
  --quiet              no progress line (it is shown only when standard error is a terminal)
  --help, -h           this text
  --version            the version

Prints "load <file>:<w>x<h>" and "write <file>:<w>x<h>" lines on standard output; errors go to standard
error. Exit status: 0 on success, 1 if the run failed or lost output, 2 for a bad command line.
)";
}
