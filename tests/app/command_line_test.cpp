// Reading the command line: defaults, well-formed lines, and every refusal.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/command_line.h"

namespace {

struct Parsed {
    CommandLineAction action;
    RunSettings settings;
    std::string error;
};

Parsed parse(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "texsynth");
    std::vector<const char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(argument.c_str());
    }
    Parsed parsed{CommandLineAction::run, {}, ""};
    parsed.action = parse_command_line(static_cast<int>(argv.size()), argv.data(), parsed.settings, parsed.error);
    return parsed;
}

TEST(CommandLine, NoArgumentsKeepsTheDefaults) {
    const Parsed parsed = parse({});
    ASSERT_EQ(parsed.action, CommandLineAction::run);
    EXPECT_EQ(parsed.settings.input_path, "./demo2.bmp");
    EXPECT_EQ(parsed.settings.output_prefix, "./out");
    EXPECT_EQ(parsed.settings.width, 256);
    EXPECT_EQ(parsed.settings.height, 256);
    EXPECT_EQ(parsed.settings.levels, 3);
    EXPECT_EQ(parsed.settings.matrix.entries,
              (std::array<int, 16>{2, 1, 1, 0, 2, 1, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(CommandLine, FullLinesFillEverySetting) {
    Parsed parsed = parse({"in.bmp", "res", "128", "64", "2", "3", "1", "0", "2"});
    ASSERT_EQ(parsed.action, CommandLineAction::run) << parsed.error;
    EXPECT_EQ(parsed.settings.input_path, "in.bmp");
    EXPECT_EQ(parsed.settings.output_prefix, "res");
    EXPECT_EQ(parsed.settings.width, 128);
    EXPECT_EQ(parsed.settings.height, 64);
    EXPECT_EQ(parsed.settings.levels, 2);
    EXPECT_EQ(parsed.settings.matrix.entries[0], 3);
    EXPECT_EQ(parsed.settings.matrix.entries[1], 1);
    EXPECT_EQ(parsed.settings.matrix.row(1, 2)[1], 2);
    EXPECT_EQ(parsed.settings.matrix.entries[4], 0);  // nothing left over from the defaults

    parsed = parse({"in.bmp", "out", "32", "32", "1", "3"});
    ASSERT_EQ(parsed.action, CommandLineAction::run) << parsed.error;
    EXPECT_EQ(parsed.settings.levels, 1);
    EXPECT_EQ(parsed.settings.matrix.entries, (std::array<int, 16>{3}));

    std::vector<std::string> four = {"in.bmp", "out", "+64", "64", "4"};
    for (int i = 0; i < 16; ++i) {
        four.push_back(std::to_string(i % 5 + 1));
    }
    parsed = parse(four);
    ASSERT_EQ(parsed.action, CommandLineAction::run) << parsed.error;
    EXPECT_EQ(parsed.settings.width, 64);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(parsed.settings.matrix.entries[i], i % 5 + 1);
    }
}

TEST(CommandLine, OptionsComeFirstAndChangeNothingElse) {
    Parsed parsed = parse({"--match=exact", "--threads=3", "--quiet", "in.bmp", "res", "128", "64", "2", "3", "1",
                           "0", "2"});
    ASSERT_EQ(parsed.action, CommandLineAction::run) << parsed.error;
    EXPECT_EQ(parsed.settings.match, MatchMode::exact);
    EXPECT_EQ(parsed.settings.threads, 3);
    EXPECT_TRUE(parsed.settings.quiet);
    EXPECT_EQ(parsed.settings.input_path, "in.bmp");
    EXPECT_EQ(parsed.settings.matrix.entries[3], 2);

    parsed = parse({"--match=approximate", "--quiet"});
    ASSERT_EQ(parsed.action, CommandLineAction::run) << parsed.error;
    EXPECT_EQ(parsed.settings.match, MatchMode::approximate);
    EXPECT_EQ(parsed.settings.input_path, "./demo2.bmp");
    EXPECT_EQ(parse({}).settings.threads, 0);  // one per core

    // "--" ends the options, so a path may start with a dash; messages count arguments as typed.
    parsed = parse({"--quiet", "--", "-in.bmp", "out", "x", "64", "1", "2"});
    EXPECT_EQ(parsed.error, "W (argument 5): expected a whole number of at least 1, got \"x\"");
    parsed = parse({"--", "-in.bmp", "out", "64", "64", "1", "2"});
    ASSERT_EQ(parsed.action, CommandLineAction::run) << parsed.error;
    EXPECT_EQ(parsed.settings.input_path, "-in.bmp");

    const struct {
        std::vector<std::string> arguments;
        std::string error;
    } refusals[] = {
        {{"--match=best"}, "option \"--match=best\": expected --match=approximate, --match=exact, --match=coherent or --match=refined"},
        {{"--passes=0"}, "option \"--passes=0\": expected --passes=N with N from 1 to 16"},
        {{"--passes=17"}, "option \"--passes=17\""},
        {{"--k=-1"}, "option \"--k=-1\": expected --k=K with K from 0 to 16"},
        {{"--k=17"}, "option \"--k=17\""},
        {{"--match"}, "option \"--match\": expected"},
        {{"--threads=0"}, "option \"--threads=0\": expected --threads=N with N from 1 to 64"},
        {{"--threads=65"}, "option \"--threads=65\""},
        {{"--threads=two"}, "option \"--threads=two\""},
        {{"--quiet=yes"}, "option \"--quiet=yes\": takes no value"},
        {{"in.bmp", "out", "64", "64", "1", "2", "--quiet"}, "command line: L = 1 needs 6 arguments"},
    };
    for (const auto& c : refusals) {
        parsed = parse(c.arguments);
        EXPECT_EQ(parsed.action, CommandLineAction::refuse);
        EXPECT_EQ(parsed.error.rfind(c.error, 0), 0u) << parsed.error;
    }
    EXPECT_EQ(parse({"--threads=64", "--threads=1"}).settings.threads, 1);
    parsed = parse({"--match=coherent", "--passes=16", "--k=16"});
    ASSERT_EQ(parsed.action, CommandLineAction::run) << parsed.error;
    EXPECT_EQ(parsed.settings.match, MatchMode::coherent);
    EXPECT_EQ(parsed.settings.passes, 16);
    EXPECT_EQ(parsed.settings.similar, 16);
    EXPECT_EQ(parse({}).settings.passes, 1);
    EXPECT_EQ(parse({}).settings.similar, 0);
}

TEST(CommandLine, OutputFormTakesOneInputWithTheFinishedTextureDefaults) {
    Parsed parsed = parse({"--output=tex.bmp", "in.png"});
    ASSERT_EQ(parsed.action, CommandLineAction::run) << parsed.error;
    EXPECT_EQ(parsed.settings.output_file, "tex.bmp");
    EXPECT_EQ(parsed.settings.input_path, "in.png");
    EXPECT_EQ(parsed.settings.width, 512);
    EXPECT_EQ(parsed.settings.height, 512);
    EXPECT_EQ(parsed.settings.levels, 0);  // chosen from the exemplar
    EXPECT_EQ(parsed.settings.match, MatchMode::refined);
    EXPECT_EQ(parsed.settings.passes, 3);

    // Size, levels, half-sizes, any way of matching and any passes may be given.
    parsed = parse({"--match=coherent", "--passes=4", "--size=64x32", "--half-sizes=2,1,0,2", "-o", "tex.png",
                    "in.bmp"});
    ASSERT_EQ(parsed.action, CommandLineAction::run) << parsed.error;
    EXPECT_EQ(parsed.settings.output_file, "tex.png");
    EXPECT_EQ(parsed.settings.match, MatchMode::coherent);
    EXPECT_EQ(parsed.settings.passes, 4);
    EXPECT_EQ(parsed.settings.levels, 2);
    EXPECT_EQ(parsed.settings.matrix.entries, (std::array<int, 16>{2, 1, 0, 2}));
    EXPECT_EQ(parsed.settings.width, 64);
    EXPECT_EQ(parsed.settings.height, 32);
    // Levels alone take the neighbourhoods chosen levels would have.
    parsed = parse({"--levels=2", "-o", "tex.png", "in.bmp"});
    ASSERT_EQ(parsed.action, CommandLineAction::run) << parsed.error;
    EXPECT_EQ(parsed.settings.matrix.entries, (std::array<int, 16>{2, 1, 0, 4}));

    // The positional form is untouched by the new way of matching unless it is asked for.
    EXPECT_EQ(parse({"in.bmp", "out", "64", "64", "1", "2"}).settings.match, MatchMode::approximate);
    EXPECT_EQ(parse({"--match=refined", "in.bmp", "out", "64", "64", "1", "2"}).settings.match, MatchMode::refined);
    EXPECT_EQ(parse({"--seed=12", "in.bmp", "out", "64", "64", "1", "2"}).settings.seed, 12u);
    EXPECT_FALSE(parse({"in.bmp", "out", "64", "64", "1", "2"}).settings.seed.has_value());

    const struct {
        std::vector<std::string> arguments;
        std::string error;
    } refusals[] = {
        {{"--output="}, "option \"--output=\": expected --output=FILE"},
        {{"--output=t.bmp"}, "command line: --output takes an input file (or several exemplars), got 0 arguments"},
        {{"--output=t.tif", "in.bmp"}, "option \"--output=t.tif\": the output file's name must end in .png or .bmp"},
        {{"--size=64x", "--output=t.bmp", "in.bmp"}, "option \"--size=64x\": expected --size=WxH"},
        {{"--size=x64", "--output=t.bmp", "in.bmp"}, "option \"--size=x64\""},
        {{"--size=30000x30000", "--output=t.bmp", "--levels=1", "in.bmp"}, "output size: 30000x30000 is too large"},
        {{"--levels=5", "--output=t.bmp", "in.bmp"}, "option \"--levels=5\": expected --levels=L with L from 1 to 4"},
        {{"--half-sizes=2,1,1,x", "--output=t.bmp", "in.bmp"}, "option \"--half-sizes=2,1,1,x\""},
        {{"--half-sizes=65", "--output=t.bmp", "in.bmp"}, "option \"--half-sizes=65\""},
        {{"--half-sizes=2,1,0,0", "--output=t.bmp", "in.bmp"}, "half-size m11: is 0"},
    };
    for (const auto& c : refusals) {
        parsed = parse(c.arguments);
        EXPECT_EQ(parsed.action, CommandLineAction::refuse);
        EXPECT_EQ(parsed.error.rfind(c.error, 0), 0u) << parsed.error;
    }
}

TEST(CommandLine, HelpAndVersion) {
    EXPECT_EQ(parse({"--help"}).action, CommandLineAction::show_help);
    EXPECT_EQ(parse({"-h"}).action, CommandLineAction::show_help);
    EXPECT_EQ(parse({"--version"}).action, CommandLineAction::show_version);
    EXPECT_EQ(parse({"--quiet", "--help", "in.bmp"}).action, CommandLineAction::show_help);
}

TEST(CommandLine, RefusesMalformedLinesNamingTheArgument) {
    const std::string long_path(256, 'a');
    const std::string longest_path(255, 'a');
    // A prefix of 255 characters whose last part, 249 characters, leaves room for "_0.bmp" in a file name.
    const std::string longest_prefix = std::string(5, 'd') + "/" + std::string(249, 'p');
    const struct {
        std::vector<std::string> arguments;
        std::string error;
    } cases[] = {
        {{"--verbose"}, "option \"--verbose\": unknown"},
        {{"in.bmp"}, "command line: expected input prefix W H L and L x L half-sizes, got 1 argument"},
        {{"in.bmp", "out", "64", "64"}, "got 4 arguments"},
        {{"in.bmp", "out", "64", "64", "2", "1", "1", "1"}, "L = 2 needs 9 arguments"},
        {{"in.bmp", "out", "64", "64", "1", "1", "1"}, "L = 1 needs 6 arguments"},
        {{"in.bmp", "out", "64", "64", "0"}, "L (argument 5): expected a whole number from 1 to 4, got \"0\""},
        {{"in.bmp", "out", "64", "64", "5"}, "L (argument 5): expected a whole number from 1 to 4"},
        {{"in.bmp", "out", "abc", "64", "1", "2"}, "W (argument 3): expected a whole number of at least 1, got \"abc\""},
        {{"in.bmp", "out", "12px", "64", "1", "2"}, "W (argument 3)"},
        {{"in.bmp", "out", "", "64", "1", "2"}, "W (argument 3)"},
        {{"in.bmp", "out", " 12", "64", "1", "2"}, "W (argument 3)"},
        {{"in.bmp", "out", "0", "64", "1", "2"}, "W (argument 3)"},
        {{"in.bmp", "out", "64", "-1", "1", "2"}, "H (argument 4)"},
        {{"in.bmp", "out", "64", "99999999999", "1", "2"}, "H (argument 4)"},
        {{"in.bmp", "out", "64", "64", "1", "-1"}, "half-size m00 (argument 6): expected a whole number from 0 to 64"},
        {{"in.bmp", "out", "64", "64", "1", "65"}, "half-size m00 (argument 6)"},
        {{"in.bmp", "out", "64", "64", "2", "1", "1", "x", "1"}, "half-size m10 (argument 8)"},
        {{"in.bmp", "out", "64", "64", "1", "2.5"}, "half-size m00 (argument 6)"},
        // Control characters are shown escaped, so that the message stays one line (found by fuzzing).
        {{"in.bmp", "out", "1\n2", "64", "1", "2"}, "W (argument 3): expected a whole number of at least 1, got \"1\\n2\""},
        {{"--he\rlp"}, "option \"--he\\rlp\": unknown"},
        {{"in.bmp", "out", "64", "64", "1", "\t\x01\x7f"}, "got \"\\t\\x01\\x7F\""},
        {{long_path, "out", "64", "64", "1", "2"}, "input path (argument 1): is 256 characters long, at most 255"},
        {{"in.bmp", long_path, "64", "64", "1", "2"}, "output prefix (argument 2)"},
        {{"in.bmp", std::string(250, 'p'), "64", "64", "1", "2"},
         "output prefix (argument 2): its last part is 250 characters long, at most 249 leave room for "
         "\"_<level>.bmp\" in a file name"},
        {{"in.bmp", "dir/" + std::string(250, 'p'), "64", "64", "1", "2"}, "its last part is 250 characters long"},
        // What the command line alone decides about the run.
        {{"in.bmp", "out", "30000", "30000", "1", "2"}, "output size: 30000x30000 is too large"},
        {{"in.bmp", "out", "4", "64", "4", "1", "1", "1", "1", "0", "1", "1", "1", "0", "0", "1", "1", "0", "0", "0",
          "1"},
         "output size: 4x64 with 4 levels leaves level 3 empty (0x8)"},
        {{"in.bmp", "out", "64", "64", "2", "1", "1", "0", "0"}, "half-size m11: is 0"},
    };
    for (const auto& c : cases) {
        const Parsed parsed = parse(c.arguments);
        EXPECT_EQ(parsed.action, CommandLineAction::refuse) << c.error;
        EXPECT_NE(parsed.error.find(c.error), std::string::npos) << "got: " << parsed.error;
    }
    // At the limits.
    EXPECT_EQ(parse({longest_path, longest_prefix, "512", "512", "1", "64"}).action, CommandLineAction::run);
    EXPECT_EQ(parse({"in.bmp", std::string(249, 'p'), "512", "512", "1", "64"}).action, CommandLineAction::run);
    EXPECT_EQ(parse({"in.bmp", "out", "1", "715827882", "1", "1"}).action, CommandLineAction::run);
    EXPECT_EQ(parse({"in.bmp", "out", "1", "715827883", "1", "1"}).action, CommandLineAction::refuse);
    // A zero causal half-size is refused only at the coarsest level, which has nothing else to compare.
    EXPECT_EQ(parse({"in.bmp", "out", "64", "64", "2", "0", "1", "0", "1"}).action, CommandLineAction::run);
    EXPECT_EQ(parse({"in.bmp", "out", "1", "64", "1", "0"}).action, CommandLineAction::refuse);
    EXPECT_EQ(parse({"in.bmp", "out", "8", "8", "4", "1", "1", "1", "1", "0", "1", "1", "1", "0", "0", "1", "1", "0",
                     "0", "0", "1"})
                  .action,
              CommandLineAction::run);
}

}  // namespace
