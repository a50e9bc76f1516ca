#include "platform/interruption.hpp"

#include <atomic>
#include <stdexcept>

namespace orvane {
namespace {

// Written by a signal handler (POSIX) or by the console handler's own thread (Windows).
std::atomic<int> noted_cause{0};
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler may only touch lock-free atomics");

}  // namespace

void note_interruption(int cause) noexcept {
    int none = 0;
    noted_cause.compare_exchange_strong(none, cause);
}

int interruption_cause() noexcept { return noted_cause.load(); }

bool interrupted() noexcept { return noted_cause.load(std::memory_order_relaxed) != 0; }

void check_interruption() {
    if (interrupted()) throw std::runtime_error("interrupted");
}

}  // namespace orvane
