#include "platform/standard_error_silence.hpp"

#include <cstdio>

#include <fcntl.h>
#include <io.h>

namespace orvane {

void with_standard_error_silenced(const std::function<void()>& work) {
    std::fflush(stderr);
    const int saved = ::_dup(2);
    const int sink = ::_open("NUL", _O_WRONLY);
    if (saved < 0 || sink < 0 || ::_dup2(sink, 2) < 0) {
        if (saved >= 0) ::_close(saved);
        if (sink >= 0) ::_close(sink);
        work();  // nothing to redirect with: better a stray line than no result
        return;
    }
    ::_close(sink);
    struct Restore {
        int saved;
        ~Restore() {
            std::fflush(stderr);
            ::_dup2(saved, 2);
            ::_close(saved);
        }
    } restore{saved};
    work();
}

}  // namespace orvane
