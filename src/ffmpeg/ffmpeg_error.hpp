#pragma once

#include <string>

namespace orvane {

// FFmpeg's text for an error code (at most 63 characters).
std::string ffmpeg_error_text(int code);

}  // namespace orvane
