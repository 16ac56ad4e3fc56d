#include "bench/child_process.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

bool write_all(int fd, const char* data, std::size_t count) {
    while (count > 0) {
        const ssize_t put = ::write(fd, data, count);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        data += put;
        count -= static_cast<std::size_t>(put);
    }
    return true;
}

}  // namespace

ChildResult run_in_child(const std::function<std::string()>& work) {
    ChildResult result;
    int channel[2];
    if (::pipe(channel) != 0) {
        std::perror("texsynth_bench: pipe");
        return result;
    }
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) {
        std::perror("texsynth_bench: fork");
        ::close(channel[0]);
        ::close(channel[1]);
        return result;
    }
    if (pid == 0) {
        ::close(channel[0]);
        const int null = ::open("/dev/null", O_WRONLY);
        if (null < 0 || ::dup2(null, STDOUT_FILENO) < 0) {
            ::_exit(3);
        }
        const std::string payload = work();
        std::fflush(nullptr);
        ::_exit(write_all(channel[1], payload.data(), payload.size()) ? 0 : 4);
    }

    ::close(channel[1]);
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(channel[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        result.payload.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(channel[0]);

    int status = 0;
    struct rusage usage {};
    while (::wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR) {
            std::perror("texsynth_bench: wait4");
            return result;
        }
    }
    result.completed = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    result.peak_rss_kib = usage.ru_maxrss;
    result.minor_faults = usage.ru_minflt;
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec * 1e-6; };
    result.cpu_seconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    return result;
}
