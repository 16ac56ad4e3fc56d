#pragma once

#include <string>

// What a run of the texsynth executable left behind.
struct ProgramRun {
    int status = -1;  // exit status, or -1 if it did not exit normally
    int signal = 0;   // the signal that ended it, or 0 if it exited
    std::string out;  // standard output
    std::string err;  // standard error
};

// Runs the texsynth executable with `arguments` (a shell-quoted string) in `directory`. Its standard output
// and error are captured outside that directory, so the directory holds only what the program made.
// A `launcher` (a shell-quoted command such as "prlimit --fsize=1000") runs the program under it; the
// launcher must pass on how the program ended.
ProgramRun run_texsynth(const std::string& directory, const std::string& arguments,
                        const std::string& launcher = "");

// `text` as one shell word, for the arguments of run_texsynth.
std::string shell_quoted(const std::string& text);

// Whether a shell command runs and succeeds (its output discarded): to find out if a tool is there and works.
bool command_succeeds(const std::string& command);

// Path of a file shipped in the source tree, such as "demo/demo2.bmp".
std::string source_file(const std::string& relative);

// SHA-256 of a file, as printed by sha256sum.
std::string sha256_of(const std::string& path);
