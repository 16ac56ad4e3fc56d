#include "python/job_call.h"

#include <chrono>
#include <thread>

namespace {

// How often a job on the main thread takes the GIL to let Python see signals: seldom enough that it hardly
// slows the job or the other threads, often enough that Ctrl-C feels immediate.
constexpr std::chrono::milliseconds kSignalCheckInterval{100};

bool on_main_thread() {
    const py::object threading = py::module_::import("threading");
    return threading.attr("current_thread")().is(threading.attr("main_thread")());
}

std::string with_values_put_back(std::string message, const std::vector<std::pair<std::string, std::string>>& stand_ins) {
    std::size_t from = 0;
    for (const auto& [given, original] : stand_ins) {
        const std::size_t at = message.find(given, from);
        if (at != std::string::npos) {
            message.replace(at, given.size(), original);
            from = at + original.size();
        }
    }
    return message;
}

}  // namespace

JobResult call_job(const Job& job, const std::vector<std::pair<std::string, std::string>>& stand_ins) {
    // Python runs signal handlers only on the main thread; the job asks only on the thread that called it.
    const bool watch_signals = on_main_thread();
    const std::thread::id caller = std::this_thread::get_id();
    auto last_check = std::chrono::steady_clock::now();
    bool signalled = false;
    JobHooks hooks;
    // Everything below is touched on the calling thread only.
    hooks.should_stop = [&] {
        if (!watch_signals || std::this_thread::get_id() != caller) {
            return false;
        }
        if (signalled) {
            return true;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now - last_check < kSignalCheckInterval) {
            return false;
        }
        last_check = now;
        const py::gil_scoped_acquire gil;
        // A handler that raises leaves its exception set on this thread, to be raised when the job returns.
        signalled = PyErr_CheckSignals() != 0;
        return signalled;
    };
    JobResult result;
    JobError error;
    bool done = false;
    {
        const py::gil_scoped_release released;
        done = run_job(job, result, error, hooks);
    }
    if (signalled) {
        throw py::error_already_set();
    }
    if (!done) {
        throw py::value_error(with_values_put_back(error.message(), stand_ins));
    }
    return result;
}

void raise_file_error(const std::string& path, const std::string& why) {
    PyErr_SetString(PyExc_OSError, (path + ": " + why).c_str());
    throw py::error_already_set();
}
