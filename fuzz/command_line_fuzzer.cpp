// Feeds every input to the command-line parser as arguments, split at NUL bytes. Whatever it is given, the
// parser must either refuse with a one-line reason, leaving the settings alone, or accept settings that every
// later stage can rely on.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <texsynth/job.h>
#include <texsynth/settings.h>

#include "app/command_line.h"
#include "pyramid/level_table.h"

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool same(const RunSettings& a, const RunSettings& b) {
    return a.input_path == b.input_path && a.output_prefix == b.output_prefix && a.width == b.width &&
           a.height == b.height && a.levels == b.levels && a.matrix.entries == b.matrix.entries;
}

bool ends_with(const std::string& text, const char* end) {
    const std::string tail(end);
    return text.size() > tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// What is made where: counts that match the inputs, options that go together, names and weights in range.
void check_control_options(const RunSettings& settings) {
    const std::size_t inputs = settings.inputs.size();
    const bool any = !settings.sample_masks.empty() || !settings.guides.empty() || !settings.target_guide.empty() ||
                     settings.guide_weight.has_value() || !settings.transfer_target.empty() ||
                     !settings.match_also.empty();
    if (settings.output_file.empty() || !settings.apply_map.empty() || !settings.mask_path.empty() ||
        settings.make_tileable) {
        require(!any);
        require(settings.output_file.empty() || !settings.apply_map.empty() || inputs == 1);
        return;
    }
    require(inputs >= 1 && settings.input_path == settings.inputs[0]);
    require(settings.guides.empty() || settings.guides.size() == inputs);
    require(settings.sample_masks.empty() || settings.sample_masks.size() == inputs);
    require(settings.guides.empty() == settings.target_guide.empty());
    require(settings.transfer_target.empty() || settings.guides.empty());
    require(!settings.guide_weight || (*settings.guide_weight >= 0 && *settings.guide_weight <= kMaxMatchWeight));
    require(!settings.guide_weight || !settings.guides.empty() || !settings.transfer_target.empty());
    require(settings.match_also.size() % inputs == 0);
    for (const auto& map : settings.match_also) {
        require(!map.path.empty() && map.path.size() <= static_cast<std::size_t>(kMaxPathLength));
        require(map.weight >= 0 && map.weight <= kMaxMatchWeight);
    }
    for (const auto* paths : {&settings.inputs, &settings.sample_masks, &settings.guides}) {
        for (const std::string& path : *paths) {
            require(path.size() <= static_cast<std::size_t>(kMaxPathLength));
        }
    }
}

void check_accepted(const RunSettings& settings, int argument_count) {
    const int levels = settings.levels;
    require(settings.input_path.size() <= static_cast<std::size_t>(kMaxPathLength));
    require(settings.output_prefix.size() <= static_cast<std::size_t>(kMaxPathLength));
    require(settings.threads >= 0 && settings.threads <= kMaxThreads);
    // A target guide or a transfer's target gives the size once it is read (0 until then).
    const bool sized_by_picture = settings.width == 0 && settings.height == 0 && !settings.output_file.empty() &&
                                  (!settings.target_guide.empty() || !settings.transfer_target.empty());
    require((settings.width >= 1 && settings.height >= 1) || sized_by_picture);
    check_control_options(settings);
    for (int i = 0; i < 16; ++i) {
        require(settings.matrix.entries[i] >= 0 && settings.matrix.entries[i] <= kMaxHalfSize);
    }
    if (settings.output_file.empty()) {
        // The positional form: no arguments, or all of them; nothing of the other forms.
        require(levels >= 1 && levels <= kMaxLevels);
        require(argument_count == 0 || argument_count == 5 + levels * levels);
        require(settings.mask_path.empty() && settings.exemplar_path.empty() && settings.apply_map.empty() &&
                !settings.make_tileable && !settings.extend);
        for (int i = levels * levels; i < 16 && argument_count != 0; ++i) {
            require(settings.matrix.entries[i] == 0);
        }
    } else {
        // One input (an empty name fails when it is opened), and an output named .png or .bmp; the levels
        // given, or 0 to choose them from the exemplar.
        require(settings.output_file.size() <= static_cast<std::size_t>(kMaxPathLength));
        std::string lower = settings.output_file;
        for (char& c : lower) {
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        }
        require(ends_with(lower, ".png") || ends_with(lower, ".bmp"));
        require(levels >= 0 && levels <= kMaxLevels);
        require(settings.exemplar_path.empty() || !settings.mask_path.empty() || settings.extend);
        require(settings.mask_path.empty() || !settings.make_tileable);
        if (settings.extend) {
            // Sides that no grown picture can exceed, not all 0, and nothing the grown picture cannot go with.
            const Border& b = settings.border;
            for (const int side : {b.left, b.top, b.right, b.bottom}) {
                require(side >= 0 && side <= kMaxBorderWidth);
            }
            require(b.left + b.top + b.right + b.bottom > 0);
            require(settings.mask_path.empty() && !settings.make_tileable && settings.apply_map.empty());
        }
        if (levels == 0 || !settings.apply_map.empty() || !settings.mask_path.empty() || settings.make_tileable ||
            settings.extend || sized_by_picture) {
            return;  // the output's size, and with it the rest, is settled once the input is read
        }
    }
    const LevelTable output = make_level_table(settings.width, settings.height, levels);
    require(pyramid_bytes(settings.width, settings.height, levels) <= kMaxOutputPyramidBytes);
    require(output.width[levels - 1] >= 1 && output.height[levels - 1] >= 1);
    require(check_settings(settings, settings.width, settings.height).empty());
    // The output size, taken as an exemplar size, must be judged without overflow or a crash, and an accepted
    // exemplar must fit its buffer.
    for (const auto& [width, height] : {std::pair{settings.width, settings.height}, {settings.height, settings.width}}) {
        if (check_exemplar(settings, width, height).empty()) {
            require(pyramid_bytes(width, height, levels) <= kMaxExemplarPyramidBytes);
        }
    }
}

// Arguments after the options (those before the first that does not start with '-', or up to "--").
int positional_count(const std::vector<std::string>& arguments) {
    std::size_t i = 1;
    while (i < arguments.size() && arguments[i].size() >= 2 && arguments[i][0] == '-') {
        if (arguments[i++] == "--") {
            break;
        }
    }
    return static_cast<int>(arguments.size() - i);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> arguments{"texsynth"};
    std::string current;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            arguments.push_back(current);
            current.clear();
        } else {
            current.push_back(static_cast<char>(data[i]));
        }
    }
    if (size > 0) {
        arguments.push_back(current);
    }
    if (arguments.size() > 40) {
        return -1;  // longer lines add nothing the parser has not seen
    }
    std::vector<const char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(argument.c_str());
    }
    argv.push_back(nullptr);
    const int argc = static_cast<int>(arguments.size());

    const RunSettings before;
    RunSettings settings;
    std::string error;
    switch (parse_command_line(argc, argv.data(), settings, error)) {
    case CommandLineAction::refuse:
        require(!error.empty() && error.find('\n') == std::string::npos && error.find('\r') == std::string::npos);
        require(same(settings, before));
        break;
    case CommandLineAction::run:
        require(error.empty());
        check_accepted(settings, positional_count(arguments));
        break;
    case CommandLineAction::show_help:
    case CommandLineAction::show_version:
        require(same(settings, before));
        break;
    }
    return 0;
}
