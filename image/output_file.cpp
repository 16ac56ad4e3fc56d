#include "image/output_file.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

namespace {

// Longest name of one file (the last part of a path) that Linux file systems accept.
constexpr std::size_t kMaxFileNameLength = NAME_MAX;

std::string system_reason(const char* what, int error) { return std::string(what) + ": " + std::strerror(error); }

// The name of the temporary file being written, if any, kept where remove_unfinished_output() can reach it from
// a signal handler: a fixed buffer and a flag, read without locks or allocation. The buffer is changed only
// while signals are blocked, so a handler never sees it half written.
char unfinished_name[PATH_MAX];
volatile std::sig_atomic_t unfinished_known = 0;

// Blocks every asynchronous signal for its lifetime, so that a file being created or renamed and its entry in
// unfinished_name change together.
class SignalBlock {
public:
    SignalBlock() {
        sigset_t all;
        sigfillset(&all);
        for (const int synchronous : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGABRT}) {
            sigdelset(&all, synchronous);
        }
        pthread_sigmask(SIG_BLOCK, &all, &saved_);
    }
    ~SignalBlock() { pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }
    SignalBlock(const SignalBlock&) = delete;
    SignalBlock& operator=(const SignalBlock&) = delete;

private:
    sigset_t saved_{};
};

// A file being written beside its final name. It appears under that name only through commit(); until then,
// and on every failure, it is removed again, so no half-written file is ever left under the final name. While
// it exists, its name is also known to remove_unfinished_output().
class TemporaryOutput {
public:
    explicit TemporaryOutput(std::string final_path) : final_path_(std::move(final_path)) {}
    TemporaryOutput(const TemporaryOutput&) = delete;
    TemporaryOutput& operator=(const TemporaryOutput&) = delete;
    ~TemporaryOutput() { discard(); }

    // Creates a new, empty temporary file; never reuses an existing one.
    bool create(std::string& why) {
        static std::atomic<unsigned> counter{0};
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = temporary_name(std::to_string(::getpid()) + "." + std::to_string(counter++));
            if (name.size() >= sizeof unfinished_name) {
                why = system_reason("cannot create", ENAMETOOLONG);
                return false;
            }
            const SignalBlock block;
            const int fd = ::open(name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
            if (fd >= 0) {
                fd_ = fd;
                name_ = std::move(name);
                std::memcpy(unfinished_name, name_.c_str(), name_.size() + 1);
                unfinished_known = 1;
                return true;
            }
            if (errno != EEXIST) {
                why = system_reason("cannot create", errno);
                return false;
            }
        }
        why = "cannot create: no free name for a temporary file";
        return false;
    }

    bool write_all(const std::uint8_t* data, std::size_t count, std::string& why) {
        while (count > 0) {
            const ssize_t put = ::write(fd_, data, count);
            if (put < 0) {
                if (errno == EINTR) {
                    continue;
                }
                why = system_reason("cannot write", errno);
                return false;
            }
            data += put;
            count -= static_cast<std::size_t>(put);
        }
        return true;
    }

    // Makes the data durable, closes the file and moves it onto the final name.
    bool commit(std::string& why) {
        if (::fsync(fd_) != 0) {
            why = system_reason("cannot write", errno);
            return false;
        }
        const int fd = std::exchange(fd_, -1);
        if (::close(fd) != 0) {
            why = system_reason("cannot write", errno);
            return false;
        }
        const SignalBlock block;
        if (std::rename(name_.c_str(), final_path_.c_str()) != 0) {
            why = system_reason("cannot replace", errno);
            return false;
        }
        unfinished_known = 0;
        name_.clear();
        return true;
    }

private:
    // "<final path>.<tag>.tmp"; when that would make the file's own name longer than a name may be, the final
    // name is shortened in it, so that every final name that can be written can also be written this way.
    std::string temporary_name(const std::string& tag) const {
        const std::string suffix = "." + tag + ".tmp";
        const std::size_t name_start = final_path_.rfind('/') + 1;  // 0 when there is no '/'
        const std::size_t name_length = final_path_.size() - name_start;
        const std::size_t room = kMaxFileNameLength - suffix.size();
        return final_path_.substr(0, name_start + std::min(name_length, room)) + suffix;
    }

    void discard() noexcept {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
        if (!name_.empty()) {
            const SignalBlock block;
            ::unlink(name_.c_str());
            unfinished_known = 0;
            name_.clear();
        }
    }

    std::string final_path_;
    std::string name_;
    int fd_ = -1;
};

}  // namespace

bool write_file_atomically(const std::string& path, const std::uint8_t* data, std::size_t size, std::string& why) {
    TemporaryOutput output(path);
    return output.create(why) && output.write_all(data, size, why) && output.commit(why);
}

void remove_unfinished_output() noexcept {
    if (unfinished_known != 0) {
        ::unlink(unfinished_name);
        unfinished_known = 0;
    }
}
