#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include <texsynth/job.h>
#include <texsynth/version.h>

#include "app/command_line.h"
#include "app/interrupts.h"
#include "app/run_output_file.h"
#include "app/run_synthesis.h"

namespace {

// The console lines are part of a run's result: if they could not all be written (a full disk, a closed
// pipe), the run has failed even when every image was written.
int check_console(int status) {
    errno = 0;
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) {
        return status;
    }
    const int error = errno;
    std::fprintf(stderr, "texsynth: standard output: cannot write%s%s\n", error != 0 ? ": " : "",
                 error != 0 ? std::strerror(error) : "");
    return status == 0 ? 1 : status;
}

}  // namespace

int main(int argc, char** argv) {
    RunSettings settings;
    std::string error;
    switch (parse_command_line(argc, argv, settings, error)) {
    case CommandLineAction::show_help:
        std::fputs(usage_text().c_str(), stdout);
        return check_console(0);
    case CommandLineAction::show_version:
        std::puts("texsynth " TEXSYNTH_VERSION);
        return check_console(0);
    case CommandLineAction::refuse:
        std::fprintf(stderr, "texsynth: %s\n%s\n", error.c_str(), usage_hint().c_str());
        return 2;
    case CommandLineAction::run:
        break;
    }
    install_interrupt_handlers();
    int status = 1;
    try {
        status = check_console(settings.output_file.empty() ? run_synthesis(settings) : run_output_file(settings));
    } catch (const std::bad_alloc&) {
        std::fflush(stdout);
        std::fputs("texsynth: memory: not enough memory for this run\n", stderr);
    }
    release_search_state();
    return status;
}
