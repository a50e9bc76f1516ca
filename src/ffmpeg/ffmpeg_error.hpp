#pragma once

#include <stdexcept>
#include <string>

namespace orvane {

// FFmpeg's text for an error code (at most 63 characters).
std::string ffmpeg_error_text(int code);

// The failure "<context><FFmpeg's text for code>"; `context` ends in ": ".
std::runtime_error ffmpeg_failure(const std::string& context, int code);

}  // namespace orvane
