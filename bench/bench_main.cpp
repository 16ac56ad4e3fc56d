// Times whole default-matrix runs on the shipped exemplars and reports where the time and memory went.
//   texsynth_bench [--quick] [--exemplars demo,bricks,cork] [--sizes 64,128,256,512] [--no-exemplar-sizes]
//                  [--source-dir DIR] [--markdown FILE]
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_cases.h"
#include "bench/bench_report.h"
#include "bench/child_process.h"

namespace {

struct Exemplar {
    std::string label;
    std::string file;  // under demo/
};

const Exemplar kExemplars[] = {{"demo", "demo2.bmp"}, {"bricks", "bricks.bmp"}, {"cork", "cork.bmp"}};

struct Options {
    std::vector<std::string> exemplars{"demo", "bricks", "cork"};
    std::vector<int> sizes{64, 128, 256, 512};
    bool exemplar_sizes = true;
    std::string source_dir = TEXSYNTH_SOURCE_DIR;
    std::string markdown;  // no file unless asked for
};

std::vector<std::string> split(const std::string& list) {
    std::vector<std::string> items;
    std::stringstream stream(list);
    std::string item;
    while (std::getline(stream, item, ',')) {
        if (!item.empty()) {
            items.push_back(item);
        }
    }
    return items;
}

bool parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--quick") {
            options.exemplars = {"demo", "bricks"};
            options.sizes = {64, 128};
            options.exemplar_sizes = false;
        } else if (arg == "--exemplars" && has_value) {
            options.exemplars = split(argv[++i]);
        } else if (arg == "--sizes" && has_value) {
            options.sizes.clear();
            for (const std::string& size : split(argv[++i])) {
                options.sizes.push_back(std::atoi(size.c_str()));
            }
        } else if (arg == "--no-exemplar-sizes") {
            options.exemplar_sizes = false;
        } else if (arg == "--source-dir" && has_value) {
            options.source_dir = argv[++i];
        } else if (arg == "--markdown" && has_value) {
            options.markdown = argv[++i];
        } else {
            std::fprintf(stderr, "texsynth_bench: unknown or incomplete argument \"%s\"\n", arg.c_str());
            return false;
        }
    }
    for (const std::string& label : options.exemplars) {
        bool known = false;
        for (const Exemplar& exemplar : kExemplars) {
            known = known || exemplar.label == label;
        }
        if (!known) {
            std::fprintf(stderr, "texsynth_bench: unknown exemplar \"%s\" (demo, bricks or cork)\n", label.c_str());
            return false;
        }
    }
    for (const int size : options.sizes) {
        if (size < 4 || size > 512) {
            std::fprintf(stderr, "texsynth_bench: output size %d is outside 4 .. 512\n", size);
            return false;
        }
    }
    return true;
}

std::string scratch_directory() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/texsynth-bench-XXXXXX";
    return ::mkdtemp(pattern.data()) != nullptr ? pattern : "";
}

// Short runs are repeated to take the fastest; a long one is measured once.
int repeats_for(int output_size) { return output_size <= 128 ? 3 : 1; }

CaseResult measure(const BenchCase& wanted, const std::string& scratch, std::int64_t training_bytes) {
    std::fprintf(stderr, "  %s (%dx%d exemplar) to %dx%d ...", wanted.label.c_str(), wanted.exemplar_size,
                 wanted.exemplar_size, wanted.output_size, wanted.output_size);
    std::fflush(stderr);
    CaseResult result = run_case(wanted, scratch, repeats_for(wanted.output_size));
    result.training_bytes = training_bytes;
    std::fprintf(stderr, " %.2f s%s\n", result.plain.wall, result.failed ? " FAILED" : "");
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse(argc, argv, options)) {
        return 2;
    }
    const std::string scratch = scratch_directory();
    if (scratch.empty()) {
        std::perror("texsynth_bench: temporary directory");
        return 1;
    }

    BenchReport report;
    report.machine = describe_machine();
    report.load_before = load_average();
    report.command = "texsynth_bench";
    for (int i = 1; i < argc; ++i) {
        report.command.append(" ").append(argv[i]);
    }
    report.lap_seconds = lap_seconds();
    report.allocations_per_search = allocations_per_search();
    report.idle_rss_kib = run_in_child([] { return std::string(); }).peak_rss_kib;

    bool failed = false;
    for (const std::string& label : options.exemplars) {
        std::string input;
        for (const Exemplar& exemplar : kExemplars) {
            if (exemplar.label == label) {
                input = options.source_dir + "/demo/" + exemplar.file;
            }
        }
        const std::int64_t training_bytes = training_set_bytes(input);
        for (const int size : options.sizes) {
            report.runs.push_back(measure({label, input, 128, size}, scratch, training_bytes));
            failed = failed || report.runs.back().failed;
        }
    }

    if (options.exemplar_sizes) {
        const RunSettings defaults;
        for (const int size : {64, 96, 128}) {
            const std::string crop = scratch + "/demo_" + std::to_string(size) + ".bmp";
            if (!write_centre_crop(options.source_dir + "/demo/demo2.bmp", size, crop)) {
                std::fprintf(stderr, "texsynth_bench: cannot make %s\n", crop.c_str());
                failed = true;
                continue;
            }
            report.exemplar_sizes.push_back(
                measure({"demo", crop, size, defaults.width}, scratch, training_set_bytes(crop)));
            failed = failed || report.exemplar_sizes.back().failed;
        }
    }
    std::filesystem::remove_all(scratch);
    report.load_after = load_average();

    std::printf("\n");
    print_report(report, stdout);
    if (!options.markdown.empty()) {
        std::ofstream out(options.markdown);
        out << markdown_report(report);
        if (!out) {
            std::fprintf(stderr, "texsynth_bench: cannot write %s\n", options.markdown.c_str());
            return 1;
        }
        std::printf("\nwrote %s\n", options.markdown.c_str());
    }
    return failed ? 1 : 0;
}
