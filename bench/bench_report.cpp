#include "bench/bench_report.h"

#include <ANN/ANN.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <ctime>
#include <fstream>
#include <iterator>
#include <utility>

#include <texsynth/settings.h>

#include "pyramid/level_table.h"
#include "synthesis/search/neighbourhood.h"

namespace {

constexpr double kMiB = 1024.0 * 1024.0;
constexpr double kOverheadGoal = 0.02;  // of the wall time, outside the search and the tree construction
constexpr std::int64_t kSlackBytes = 4 * 1024 * 1024;
// The three working buffers of a run sized for the largest output the first design allowed (512 x 512),
// which the memory budget keeps counting.
constexpr std::int64_t kWorkingBufferBytes = 3'145'728;

std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* pattern, ...) {
    char buffer[512];
    va_list arguments;
    va_start(arguments, pattern);
    std::vsnprintf(buffer, sizeof buffer, pattern, arguments);
    va_end(arguments);
    return buffer;
}

std::string trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    const auto last = text.find_last_not_of(" \t\n");
    return first == std::string::npos ? "" : text.substr(first, last - first + 1);
}

// The parts of one profiled run, in seconds.
struct Figures {
    double total = 0;
    double loading = 0;
    double training_vectors = 0;
    double tree = 0;
    double query = 0;
    double search = 0;
    double writing = 0;
    double noise = 0;
    double output_files = 0;
    double other = 0;  // the total less every part above
    std::int64_t queries = 0;
    std::int64_t components = 0;  // of all queries

    double outside() const { return total - search - tree; }
    double outside_share() const { return total > 0 ? outside() / total : 0; }
};

Figures figures_of(const RunProfile& profile) {
    const RunSettings defaults;
    Figures f;
    f.total = profile.total;
    f.loading = profile.loading;
    f.noise = profile.noise;
    f.output_files = profile.output_files;
    for (int n = 0; n < defaults.levels; ++n) {
        const LevelProfile& level = profile.levels[n];
        f.training_vectors += level.training_vectors;
        f.tree += level.tree_construction;
        f.query += level.query_construction;
        f.search += level.search;
        f.writing += level.pixel_writing;
        f.queries += level.queries;
        f.components += level.queries * neighbourhood_dimension(defaults.matrix.row(n, defaults.levels), n,
                                                                defaults.levels);
    }
    f.other = f.total - (f.loading + f.training_vectors + f.tree + f.query + f.search + f.writing + f.noise +
                         f.output_files);
    return f;
}

// Seconds of the profile that are its own clock readings: three per query (after gathering, after searching,
// after writing), whose cost lands in the stages around them.
double clock_seconds(const Figures& f, double lap) { return 3.0 * static_cast<double>(f.queries) * lap; }

std::string size_text(int size) { return format("%d²", size); }
std::string ms(double seconds) { return format("%.1f", seconds * 1e3); }
std::string percent(double share) { return format("%.2f %%", share * 100); }
std::string mib(double bytes) { return format("%.1f", bytes / kMiB); }

std::int64_t memory_budget(const CaseResult& run) {
    return 3 * kWorkingBufferBytes + run.training_bytes + kSlackBytes;
}

double peak_bytes(const CaseResult& run) { return static_cast<double>(run.peak_rss_kib) * 1024; }

std::int64_t output_pixels(const CaseResult& run) {
    return std::int64_t{run.wanted.output_size} * run.wanted.output_size;
}

// Candidates of level 0 of a square exemplar under the default matrix, whose border there is 8.
std::int64_t level0_candidates(int exemplar_size) {
    const std::int64_t side = exemplar_size - 2 * 8;
    return side > 0 ? side * side : 0;
}

// Allocations of a run made outside annkSearch: all of them less those the searches make inside ANN.
std::int64_t allocations_outside_search(const CaseResult& run, std::int64_t per_search) {
    return run.plain.allocations - per_search * figures_of(run.profiled.profile).queries;
}

const CaseResult* worst_overhead(const std::vector<CaseResult>& runs) {
    const CaseResult* worst = nullptr;
    for (const CaseResult& run : runs) {
        if (worst == nullptr ||
            figures_of(run.profiled.profile).outside_share() > figures_of(worst->profiled.profile).outside_share()) {
            worst = &run;
        }
    }
    return worst;
}

const CaseResult* find_run(const std::vector<CaseResult>& runs, const std::string& label, int output_size) {
    for (const CaseResult& run : runs) {
        if (run.wanted.label == label && run.wanted.output_size == output_size) {
            return &run;
        }
    }
    return nullptr;
}

std::vector<std::string> labels_of(const std::vector<CaseResult>& runs) {
    std::vector<std::string> labels;
    for (const CaseResult& run : runs) {
        if (std::find(labels.begin(), labels.end(), run.wanted.label) == labels.end()) {
            labels.push_back(run.wanted.label);
        }
    }
    return labels;
}

std::vector<int> sizes_of(const std::vector<CaseResult>& runs) {
    std::vector<int> sizes;
    for (const CaseResult& run : runs) {
        if (std::find(sizes.begin(), sizes.end(), run.wanted.output_size) == sizes.end()) {
            sizes.push_back(run.wanted.output_size);
        }
    }
    std::sort(sizes.begin(), sizes.end());
    return sizes;
}

std::string whole_run_table(const BenchReport& report) {
    std::string md =
        "| exemplar | output | wall (s) | CPU (s) | profiled (s) | search (s) | kd-tree build (s) "
        "| outside search and build | the same less clock readings | page faults | peak RSS (MiB) | budget (MiB) |\n"
        "|---|---|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|\n";
    for (const CaseResult& run : report.runs) {
        const Figures f = figures_of(run.profiled.profile);
        const double clocks = clock_seconds(f, report.lap_seconds);
        md += format("| %s | %s | %.3f | %.3f | %.3f | %.3f | %.3f | %s | %s | %ld | %s | %s |%s\n",
                     run.wanted.label.c_str(), size_text(run.wanted.output_size).c_str(), run.plain.wall,
                     run.plain.cpu_seconds, f.total, f.search, f.tree, percent(f.outside_share()).c_str(),
                     percent((f.outside() - clocks) / (f.total - clocks)).c_str(), run.plain.minor_faults,
                     mib(peak_bytes(run)).c_str(), mib(static_cast<double>(memory_budget(run))).c_str(),
                     run.failed ? " **a run failed** |" : "");
    }
    return md;
}

std::string stage_table(const BenchReport& report) {
    std::string md =
        "| exemplar | output | loading and pyramid | training vectors | kd-tree build | query build | search "
        "| pixel writing | noise | output files | everything else | total |\n"
        "|---|---|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|\n";
    for (const CaseResult& run : report.runs) {
        const Figures f = figures_of(run.profiled.profile);
        md += format("| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |\n", run.wanted.label.c_str(),
                     size_text(run.wanted.output_size).c_str(), ms(f.loading).c_str(), ms(f.training_vectors).c_str(),
                     ms(f.tree).c_str(), ms(f.query).c_str(), ms(f.search).c_str(), ms(f.writing).c_str(),
                     ms(f.noise).c_str(), ms(f.output_files).c_str(), ms(f.other).c_str(), ms(f.total).c_str());
    }
    return md;
}

std::string level_table(const BenchReport& report) {
    const RunSettings defaults;
    std::string md =
        "| exemplar | output | level | queries | training vectors | kd-tree build | query build | search "
        "| pixel writing | search per query (µs) |\n"
        "|---|---|--:|--:|--:|--:|--:|--:|--:|--:|\n";
    for (const CaseResult& run : report.runs) {
        for (int n = defaults.levels - 1; n >= 0; --n) {
            const LevelProfile& level = run.profiled.profile.levels[n];
            const double per_query = level.queries > 0 ? level.search / static_cast<double>(level.queries) : 0;
            md += format("| %s | %s | %d | %lld | %s | %s | %s | %s | %s | %.2f |\n", run.wanted.label.c_str(),
                         size_text(run.wanted.output_size).c_str(), n, static_cast<long long>(level.queries),
                         ms(level.training_vectors).c_str(), ms(level.tree_construction).c_str(),
                         ms(level.query_construction).c_str(), ms(level.search).c_str(),
                         ms(level.pixel_writing).c_str(), per_query * 1e6);
        }
    }
    return md;
}

// "n <things> at every output size" or "n to m <things>".
std::string count_range(std::int64_t fewest, std::int64_t most, const char* things) {
    return fewest == most ? format("%lld %s at every output size", static_cast<long long>(fewest), things)
                          : format("%lld to %lld %s", static_cast<long long>(fewest), static_cast<long long>(most), things);
}

// The stage outside the search and the tree construction that took longest, with its time.
std::string largest_outside_part(const Figures& f) {
    const std::pair<const char*, double> parts[] = {
        {"loading and pyramid", f.loading}, {"training vectors", f.training_vectors}, {"query build", f.query},
        {"pixel writing", f.writing},       {"noise", f.noise},
        {"output files (enlarging, and waiting for the last file to reach the disk)", f.output_files},
        {"everything else", f.other}};
    const auto* largest = std::max_element(std::begin(parts), std::end(parts),
                                           [](const auto& a, const auto& b) { return a.second < b.second; });
    return format("%s, %.1f ms", largest->first, largest->second * 1e3);
}

std::string overhead_section(const BenchReport& report) {
    const std::vector<CaseResult>& runs = report.runs;
    std::string md;
    if (runs.empty()) {
        return md;
    }

    const CaseResult& worst = *worst_overhead(runs);
    const Figures wf = figures_of(worst.profiled.profile);
    const bool share_met = wf.outside_share() <= kOverheadGoal;
    md += format("- **Time outside `annkSearch` and `ANNkd_tree` construction: at most 2 %% of the wall time.** "
                 "%s: the largest share is %s (%s at %s), %.1f ms of %.3f s",
                 share_met ? "Met" : "Missed", percent(wf.outside_share()).c_str(), worst.wanted.label.c_str(),
                 size_text(worst.wanted.output_size).c_str(), wf.outside() * 1e3, wf.total);
    md += format(", of which about %.1f ms are the profile's own clock readings; its largest part is %s.\n",
                 clock_seconds(wf, report.lap_seconds) * 1e3, largest_outside_part(wf).c_str());

    std::int64_t fewest = INT64_MAX;
    std::int64_t most = INT64_MIN;
    std::int64_t fewest_queries = INT64_MAX;
    std::int64_t most_queries = 0;
    for (const CaseResult& run : runs) {
        const std::int64_t allocations = allocations_outside_search(run, report.allocations_per_search);
        const std::int64_t queries = figures_of(run.profiled.profile).queries;
        fewest = std::min(fewest, allocations);
        most = std::max(most, allocations);
        fewest_queries = std::min(fewest_queries, queries);
        most_queries = std::max(most_queries, queries);
    }
    // Allocating per pixel would add at least one allocation per query between the smallest and largest run.
    const bool allocations_met = most - fewest < std::max<std::int64_t>(1, (most_queries - fewest_queries) / 100);
    md += format("- **No allocation per pixel.** %s: outside `annkSearch`, a whole run makes %s (from %lld to "
                 "%lld queries), nearly all of them the kd-tree nodes that `ANNkd_tree` construction allocates one "
                 "by one. `annkSearch` itself allocates %lld times per call inside the ANN library, "
                 "which is part of the search.\n",
                 allocations_met ? "Met" : "Missed", count_range(fewest, most, "allocations").c_str(),
                 static_cast<long long>(fewest_queries), static_cast<long long>(most_queries),
                 static_cast<long long>(report.allocations_per_search));

    double query_seconds = 0;
    std::int64_t components = 0;
    for (const CaseResult& run : runs) {
        const Figures f = figures_of(run.profiled.profile);
        query_seconds += f.query - report.lap_seconds * static_cast<double>(f.queries);
        components += f.components;
    }
    md += format("- **Query construction without a modulo per component.** Met by construction: every wrapped row "
                 "and column position is looked up in tables made once per level "
                 "(`synthesis/search/pyramid_views.h`); gathering takes about %.2f ns per component (the query "
                 "build column less one clock reading per query).\n",
                 components > 0 ? query_seconds / static_cast<double>(components) * 1e9 : 0.0);

    std::int64_t fewest_writes = INT64_MAX;
    std::int64_t most_writes = INT64_MIN;
    for (const CaseResult& run : runs) {
        fewest_writes = std::min(fewest_writes, run.plain.write_calls);
        most_writes = std::max(most_writes, run.plain.write_calls);
    }
    md += format("- **Output writing without per-byte I/O.** %s: a whole run makes %s: one per output file (each "
                 "file is built in memory first) and one per line on the console.\n",
                 most_writes == fewest_writes ? "Met" : "Missed",
                 count_range(fewest_writes, most_writes, "write system calls").c_str());

    const RunSettings defaults;
    const CaseResult* standard = find_run(runs, "demo", defaults.width);
    if (standard == nullptr) {
        standard = &runs.front();
    }
    const bool memory_met = peak_bytes(*standard) <= static_cast<double>(memory_budget(*standard));
    md += format("- **Peak memory of the default run within the three working buffers, the training set and "
                 "4 MiB.** %s: %s at %s peaks at %s MiB resident; the budget is 3 × 3,145,728 bytes + %s MiB of "
                 "training set (its largest level, points and tree) + 4 MiB = %s MiB. ",
                 memory_met ? "Met" : "Missed", standard->wanted.label.c_str(),
                 size_text(standard->wanted.output_size).c_str(), mib(peak_bytes(*standard)).c_str(),
                 mib(static_cast<double>(standard->training_bytes)).c_str(),
                 mib(static_cast<double>(memory_budget(*standard))).c_str());
    int within = 0;
    for (const CaseResult& run : runs) {
        within += peak_bytes(run) <= static_cast<double>(memory_budget(run)) ? 1 : 0;
    }
    md += format("%d of the %zu runs stay within their budget.\n", within, runs.size());
    return md;
}

std::string output_scaling(const BenchReport& report) {
    const std::vector<int> sizes = sizes_of(report.runs);
    std::string md = "CPU time per output pixel (µs), run without the profile:\n\n| exemplar |";
    std::string rule = "|---|";
    for (const int size : sizes) {
        md.append(" ").append(size_text(size)).append(" |");
        rule += "--:|";
    }
    md.append("\n").append(rule).append("\n");
    for (const std::string& label : labels_of(report.runs)) {
        md += "| " + label + " |";
        for (const int size : sizes) {
            const CaseResult* run = find_run(report.runs, label, size);
            md += run == nullptr ? " |"
                                 : format(" %.1f |", run->plain.cpu_seconds / static_cast<double>(output_pixels(*run)) * 1e6);
        }
        md += "\n";
    }
    if (sizes.size() >= 2) {
        const int from = sizes.size() > 2 ? sizes[1] : sizes[0];  // the smallest outputs carry the fixed costs
        const int to = sizes.back();
        md += format("\nFrom %s to %s the output has %.0f times the pixels; the CPU time grew", size_text(from).c_str(),
                     size_text(to).c_str(), double(to) * to / (double(from) * from));
        const std::vector<std::string> labels = labels_of(report.runs);
        for (std::size_t i = 0; i < labels.size(); ++i) {
            const CaseResult* small = find_run(report.runs, labels[i], from);
            const CaseResult* large = find_run(report.runs, labels[i], to);
            if (small != nullptr && large != nullptr) {
                md += format("%s %.1f times (%s)", i == 0 ? "" : ",", large->plain.cpu_seconds / small->plain.cpu_seconds,
                             labels[i].c_str());
            }
        }
        md += ".\n";
    }
    return md;
}

// The exponent a in time ~ pixels^a between the smallest and the largest crop, for the CPU time of a run.
double exemplar_exponent(const std::vector<CaseResult>& crops) {
    const CaseResult& small = crops.front();
    const CaseResult& large = crops.back();
    const double pixels = std::log(double(large.wanted.exemplar_size) * large.wanted.exemplar_size /
                                   (double(small.wanted.exemplar_size) * small.wanted.exemplar_size));
    return pixels > 0 && small.plain.cpu_seconds > 0 ? std::log(large.plain.cpu_seconds / small.plain.cpu_seconds) / pixels
                                                       : 0;
}

std::string exemplar_scaling(const BenchReport& report) {
    std::string md = format("Centre crops of `demo2.bmp`, made by the benchmark, each synthesized to %s:\n\n",
                            size_text(report.exemplar_sizes.front().wanted.output_size).c_str());
    md += "| exemplar | candidates at level 0 | wall (s) | CPU (s) | search (s) | kd-tree build (ms) "
          "| search per query (µs) | training set (MiB) | peak RSS (MiB) |\n"
          "|---|--:|--:|--:|--:|--:|--:|--:|--:|\n";
    for (const CaseResult& run : report.exemplar_sizes) {
        const Figures f = figures_of(run.profiled.profile);
        md += format("| %s | %lld | %.3f | %.3f | %.3f | %s | %.2f | %s | %s |\n",
                     size_text(run.wanted.exemplar_size).c_str(), static_cast<long long>(level0_candidates(run.wanted.exemplar_size)),
                     run.plain.wall, run.plain.cpu_seconds, f.search, ms(f.tree).c_str(),
                     f.search / static_cast<double>(f.queries) * 1e6,
                     mib(static_cast<double>(run.training_bytes)).c_str(), mib(peak_bytes(run)).c_str());
    }
    if (report.exemplar_sizes.size() >= 2) {
        md += format("\nThe CPU time grew about as the exemplar's pixels to the power %.2f.",
                     exemplar_exponent(report.exemplar_sizes));
    }
    const CaseResult& whole = report.exemplar_sizes.back();
    const CaseResult* same = find_run(report.runs, "demo", whole.wanted.output_size);
    if (whole.wanted.exemplar_size == 128 && same != nullptr) {
        md += format(" The %s crop is `demo2.bmp` itself, so its row repeats the demo at %s above: %.1f s of CPU "
                     "time here, %.1f s there. The difference shows how far the timings of one run wander on this "
                     "machine.",
                     size_text(128).c_str(), size_text(whole.wanted.output_size).c_str(), whole.plain.cpu_seconds,
                     same->plain.cpu_seconds);
    }
    md += "\n";
    return md;
}

std::string largest_run(const BenchReport& report) {
    std::string md;
    double fastest = 1e300;
    double slowest = 0;
    std::string slowest_label;
    for (const CaseResult& run : report.runs) {
        if (run.wanted.output_size == 512) {
            fastest = std::min(fastest, run.plain.cpu_seconds);
            if (run.plain.cpu_seconds > slowest) {
                slowest = run.plain.cpu_seconds;
                slowest_label = run.wanted.label;
            }
        }
    }
    if (slowest == 0) {
        return md;
    }
    md += format("**What to expect.** A 512 × 512 output from a 128 × 128 exemplar took %.0f to %.0f s of CPU time "
                 "here (%s the slowest), which is its wall time on an otherwise idle machine; the time grows with "
                 "the output's pixels",
                 fastest, slowest, slowest_label.c_str());
    if (report.exemplar_sizes.size() >= 2) {
        const int kLargestExemplar = largest_square_exemplar(3);
        const double a = exemplar_exponent(report.exemplar_sizes);
        const double factor = std::pow(double(kLargestExemplar) * kLargestExemplar / (128.0 * 128.0), a);
        const CaseResult& crop = report.exemplar_sizes.back();
        const double bytes_per_candidate =
            static_cast<double>(crop.training_bytes) / static_cast<double>(level0_candidates(crop.wanted.exemplar_size));
        md += format(". Carrying the exemplar-size trend on to the largest square exemplar allowed with three levels ("
                     "%d × %d) multiplies that by roughly %.0f: %.1f to %.1f hours, with a level-0 training set of "
                     "about %.0f MiB to hold. That is an extrapolation from small exemplars, not a measurement; the "
                     "search cost depends on the texture as much as on its size",
                     kLargestExemplar, kLargestExemplar, factor, fastest * factor / 3600, slowest * factor / 3600,
                     bytes_per_candidate * static_cast<double>(level0_candidates(kLargestExemplar)) / kMiB);
    }
    md += ".\n";
    return md;
}

}  // namespace

MachineInfo describe_machine() {
    MachineInfo machine;
    int cores_per_socket = 0;
    int sockets = 0;
    if (std::FILE* lscpu = ::popen("LC_ALL=C lscpu 2>/dev/null", "r")) {
        char line[512];
        while (std::fgets(line, sizeof line, lscpu) != nullptr) {
            const std::string text = line;
            const auto colon = text.find(':');
            if (colon == std::string::npos) {
                continue;
            }
            const std::string key = trim(text.substr(0, colon));
            const std::string value = trim(text.substr(colon + 1));
            if (key == "Model name" && machine.model.empty()) {
                machine.model = value;
            } else if (key == "CPU(s)") {
                machine.cpus = std::atoi(value.c_str());
            } else if (key == "Core(s) per socket") {
                cores_per_socket = std::atoi(value.c_str());
            } else if (key == "Socket(s)") {
                sockets = std::atoi(value.c_str());
            }
        }
        ::pclose(lscpu);
    }
    machine.cores = cores_per_socket * sockets;
    if (machine.model.empty()) {
        std::ifstream cpuinfo("/proc/cpuinfo");
        std::string line;
        while (std::getline(cpuinfo, line)) {
            if (line.rfind("model name", 0) == 0) {
                machine.model = trim(line.substr(line.find(':') + 1));
                break;
            }
        }
    }
    const std::time_t now = std::time(nullptr);
    char date[64];
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M UTC", std::gmtime(&now));
    machine.date = date;
    return machine;
}

std::string load_average() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return in ? one + " " + five + " " + fifteen : "unknown";
}

void print_report(const BenchReport& report, std::FILE* out) {
    std::fprintf(out, "%-8s %7s %9s %9s %9s %9s %9s %9s %8s %9s %9s %7s\n", "exemplar", "output", "wall s", "cpu s",
                 "profiled", "search", "tree", "other ms", "other %", "peak MiB", "budget", "faults");
    const auto print = [&](const CaseResult& run, const std::string& name) {
        const Figures f = figures_of(run.profiled.profile);
        std::fprintf(out, "%-8s %7s %9.3f %9.3f %9.3f %9.3f %9.3f %9.1f %7.2f%% %9.1f %9.1f %7ld%s\n", name.c_str(),
                     format("%dx%d", run.wanted.output_size, run.wanted.output_size).c_str(), run.plain.wall,
                     run.plain.cpu_seconds, f.total, f.search, f.tree, f.outside() * 1e3, f.outside_share() * 100,
                     peak_bytes(run) / kMiB, static_cast<double>(memory_budget(run)) / kMiB, run.plain.minor_faults,
                     run.failed ? "  FAILED" : "");
    };
    for (const CaseResult& run : report.runs) {
        print(run, run.wanted.label);
    }
    for (const CaseResult& run : report.exemplar_sizes) {
        print(run, format("%s/%d", run.wanted.label.c_str(), run.wanted.exemplar_size));
    }
}

std::string markdown_report(const BenchReport& report) {
    std::string md = "# Benchmarks\n\n";
    md += format("Latest `make bench`: %s, on %s (%d cores, %d CPUs), g++ %s, Release build, ANN %s. Load "
                 "average when it started: %s; when it ended: %s (other work on the machine stretches the wall "
                 "times; CPU times are less affected).\n\n",
                 report.machine.date.c_str(), report.machine.model.c_str(), report.machine.cores,
                 report.machine.cpus, __VERSION__, ANNversion, report.load_before.c_str(), report.load_after.c_str());
    md += "Every run is the default synthesis (3 levels, half-sizes 2 1 1 / 0 2 1 / 0 0 2, search error bound "
          "2.0) of a 128 × 128 exemplar shipped in `demo/` (`demo2.bmp` as demo, `bricks.bmp`, `cork.bmp`) to "
          "a square output, in a process of its own. Times are the fastest of three runs at outputs up to 128², "
          "of one run above; \"wall\" is a run without the profile, as the program runs, and the stage figures "
          "come from a separate profiled run.\n\n";

    md += "## How to reproduce\n\n```\n";
    md += "make bench         # all of this file, which it rewrites\n";
    md += "make bench-quick   # demo and bricks at 64² and 128², table only\n";
    md += "build-bench/bench/texsynth_bench --exemplars cork --sizes 512   # any selection, table only\n";
    md += "bench/compare-matchers.sh build-bench matchers.md pictures 256   # the ways of matching only\n```\n\n";
    md += "Output files go under `$TMPDIR` (else `/tmp`); their last `fsync` is part of every run's time.\n\n";
    md += "This run: `" + report.command + "`.\n\n";

    md += "## Whole runs\n\n" + whole_run_table(report) + "\n";
    md += "\"Outside search and build\" is the profiled total less `annkSearch` and `ANNkd_tree` construction, "
          "as a share of the profiled total; the next column takes out the three clock readings per query that "
          "the profile itself adds. The budget is the three working buffers (3 × 3,145,728 bytes), the largest "
          "training set and 4 MiB.\n\n";
    md += "Where the time went, in milliseconds (profiled run):\n\n" + stage_table(report) + "\n";
    md += "## Per level\n\nMilliseconds, profiled run; level 2 is the coarsest.\n\n" + level_table(report) + "\n";
    md += "## Overhead goals\n\n" + overhead_section(report) + "\n";
    md += "## Scaling\n\n### Output size\n\n" + output_scaling(report) + "\n";
    md += "\n";
    if (!report.exemplar_sizes.empty()) {
        md += "### Exemplar size\n\n" + exemplar_scaling(report) + "\n";
    }
    md += largest_run(report) + "\n";

    md += "## How the figures are taken\n\n";
    md += format("- The benchmark (`bench/`) forks a child for every run and reads that child's peak resident "
                 "set size from `wait4`; a child that does nothing peaks at %.1f MiB, the process itself "
                 "(libraries, stack, the benchmark's own state).\n",
                 static_cast<double>(report.idle_rss_kib) / 1024);
    md += format("- The profile (`RunProfile`) reads the clock three times per query; one reading costs %.0f ns "
                 "here. Runs without a profile read no clock inside the scan at all, which is why the wall column "
                 "is a separate run.\n",
                 report.lap_seconds * 1e9);
    md += "- Allocations are counted by replacing the global `operator new` in the benchmark program, which "
          "the ANN library's allocations go through as well; write system calls come from `/proc/self/io`.\n";
    md += "- Output files go to a temporary directory and are written as the program writes them (complete "
          "file, `fsync`, rename).\n";
    return md;
}
