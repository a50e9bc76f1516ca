#pragma once

// Shared by the fuzz targets: a broken invariant must stop the fuzzer like a crash does.

#include <cstdio>
#include <cstdlib>

extern "C" {
#include <libavutil/log.h>
}

#define ORVANE_FUZZ_CHECK(condition)                                                          \
    do {                                                                                     \
        if (!(condition)) {                                                                  \
            std::fprintf(stderr, "fuzz invariant failed: %s (%s:%d)\n", #condition, __FILE__, \
                         __LINE__);                                                          \
            std::abort();                                                                    \
        }                                                                                    \
    } while (false)

namespace orvane::fuzz {

// FFmpeg's complaints about broken input would drown the fuzzer's own output.
inline void silence_ffmpeg() { av_log_set_level(AV_LOG_QUIET); }

}  // namespace orvane::fuzz
