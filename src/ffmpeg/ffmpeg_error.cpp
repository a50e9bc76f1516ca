#include "ffmpeg/ffmpeg_error.hpp"

extern "C" {
#include <libavutil/error.h>
}

namespace orvane {

std::string ffmpeg_error_text(int code) {
    char text[64] = {};
    av_strerror(code, text, sizeof text);
    return std::string(text);
}

std::runtime_error ffmpeg_failure(const std::string& context, int code) {
    return std::runtime_error(context + ffmpeg_error_text(code));
}

}  // namespace orvane
