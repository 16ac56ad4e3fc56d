#include "app/interrupts.h"

#include <signal.h>

#include <texsynth/image_files.h>

namespace {

constexpr int kStoppingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

extern "C" void stop_on_signal(int signal_number) {
    remove_unfinished_output();
    // The signal stays blocked until the handler returns; then, with the default action back, it ends the
    // program as if no handler had been there.
    ::signal(signal_number, SIG_DFL);
    ::raise(signal_number);
}

}  // namespace

void install_interrupt_handlers() {
    struct sigaction action {};
    action.sa_handler = stop_on_signal;
    sigemptyset(&action.sa_mask);
    for (const int signal_number : kStoppingSignals) {
        sigaddset(&action.sa_mask, signal_number);  // one clean-up at a time
    }
    for (const int signal_number : kStoppingSignals) {
        struct sigaction current {};
        if (::sigaction(signal_number, nullptr, &current) == 0 && current.sa_handler != SIG_IGN) {
            ::sigaction(signal_number, &action, nullptr);
        }
    }
    ::signal(SIGXFSZ, SIG_IGN);
}
