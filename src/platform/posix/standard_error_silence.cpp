#include "platform/standard_error_silence.hpp"

#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace orvane {

void with_standard_error_silenced(const std::function<void()>& work) {
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    const int sink = ::open("/dev/null", O_WRONLY);
    if (saved < 0 || sink < 0 || ::dup2(sink, STDERR_FILENO) < 0) {
        if (saved >= 0) ::close(saved);
        if (sink >= 0) ::close(sink);
        work();  // nothing to redirect with: better a stray line than no result
        return;
    }
    ::close(sink);
    struct Restore {
        int saved;
        ~Restore() {
            std::fflush(stderr);
            ::dup2(saved, STDERR_FILENO);
            ::close(saved);
        }
    } restore{saved};
    work();
}

}  // namespace orvane
