#include "support/run_program.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>

#include "support/scratch_dir.h"

ProgramRun run_texsynth(const std::string& directory, const std::string& arguments, const std::string& launcher) {
    const ScratchDir captured;
    const std::string out = captured / "stdout";
    const std::string err = captured / "stderr";
    // exec, so that a program killed by a signal is seen as such rather than through the shell's status.
    const std::string command = "cd '" + directory + "' && exec " + launcher + " '" TEXSYNTH_EXECUTABLE "' " +
                                arguments + " >'" + out + "' 2>'" + err + "'";
    const int status = std::system(command.c_str());
    ProgramRun run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    run.out = read_file(out);
    run.err = read_file(err);
    return run;
}

std::string shell_quoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    quoted += "'";
    return quoted;
}

bool command_succeeds(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::string source_file(const std::string& relative) { return std::string(TEXSYNTH_SOURCE_DIR) + "/" + relative; }

std::string sha256_of(const std::string& path) {
    const std::string command = "sha256sum '" + path + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return "";
    }
    char digest[65] = {};
    const std::size_t got = std::fread(digest, 1, 64, pipe);
    pclose(pipe);
    return std::string(digest, got);
}
