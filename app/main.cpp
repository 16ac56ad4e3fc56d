#include <cstdio>
#include <new>
#include <string>

#include "app/command_line.h"
#include "app/run_synthesis.h"

int main(int argc, char** argv) {
    RunSettings settings;
    std::string error;
    switch (parse_command_line(argc, argv, settings, error)) {
    case CommandLineAction::show_help:
        std::fputs(usage_text().c_str(), stdout);
        return 0;
    case CommandLineAction::show_version:
        std::puts("texsynth " TEXSYNTH_VERSION);
        return 0;
    case CommandLineAction::refuse:
        std::fprintf(stderr, "texsynth: %s\n%s\n", error.c_str(), usage_hint().c_str());
        return 2;
    case CommandLineAction::run:
        break;
    }
    try {
        return run_synthesis(settings);
    } catch (const std::bad_alloc&) {
        std::fflush(stdout);
        std::fputs("texsynth: memory: not enough memory for this run\n", stderr);
        return 1;
    }
}
