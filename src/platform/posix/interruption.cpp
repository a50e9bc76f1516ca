#include "platform/interruption.hpp"

#include <csignal>
#include <iostream>

#include <signal.h>
#include <unistd.h>

namespace orvane {
namespace {

constexpr int kCaughtSignals[] = {SIGINT, SIGTERM, SIGHUP};

void on_signal(int number) { note_interruption(number); }

}  // namespace

void catch_interruptions() {
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    // Reads and writes under way carry on: the run stops between frames, never inside a write.
    action.sa_flags = SA_RESTART;
    for (const int number : kCaughtSignals) {
        struct sigaction previous {};
        // A signal ignored when the program started (nohup, a background job) stays ignored.
        if (sigaction(number, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
        sigaction(number, &action, nullptr);
    }
}

[[noreturn]] void end_as_interrupted() {
    std::cout.flush();
    std::cerr.flush();
    const int number = interruption_cause();
    // The default action of the signal that arrived ends the process, so a calling shell sees that signal.
    std::signal(number, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, number);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    std::raise(number);
    _exit(128 + number);  // not reached unless the signal could not end the process
}

}  // namespace orvane
