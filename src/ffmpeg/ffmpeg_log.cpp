#include "ffmpeg/ffmpeg_log.hpp"

#include <cstdarg>
#include <cstdio>
#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

namespace orvane {
namespace {

// A damaged rip concealed frame by frame logs an error per frame: the first ones tell enough.
constexpr std::size_t kKeptLines = 50;

struct LogState {
    std::mutex mutex;  // FFmpeg may log from threads of its own
    bool keep_errors = false;
    std::string source;
    std::vector<std::string> lines;
    std::size_t left_out = 0;
};

LogState& log_state() {
    static LogState state;
    return state;
}

// FFmpeg may write a line in several calls; each thread completes its own before it is kept.
thread_local std::string pending_text;

// "[dca] " for a message of a decoder context: the component without its address.
std::string component_of(void* context) {
    const AVClass* const component = context != nullptr ? *static_cast<AVClass**>(context) : nullptr;
    if (component == nullptr || component->item_name == nullptr) return "";
    const char* const name = component->item_name(context);
    return name != nullptr && *name != '\0' ? "[" + std::string(name) + "] " : "";
}

void on_ffmpeg_log(void* context, int level, const char* format, va_list arguments) {
    if ((level & 0xFF) > AV_LOG_ERROR) return;
    LogState& state = log_state();
    {
        const std::lock_guard<std::mutex> lock(state.mutex);
        if (!state.keep_errors) return;
    }
    char text[1024];
    std::vsnprintf(text, sizeof text, format, arguments);
    pending_text += text;
    for (std::size_t end; (end = pending_text.find('\n')) != std::string::npos;) {
        const std::string message = pending_text.substr(0, end + 1);
        pending_text.erase(0, end + 1);
        if (message == "\n") continue;
        const std::lock_guard<std::mutex> lock(state.mutex);
        if (state.lines.size() < kKeptLines) {
            state.lines.push_back(state.source + ": " + component_of(context) + message);
        } else {
            ++state.left_out;
        }
    }
}

}  // namespace

void capture_ffmpeg_log(FfmpegLogCapture capture) {
    LogState& state = log_state();
    {
        const std::lock_guard<std::mutex> lock(state.mutex);
        state.keep_errors = capture.keep_errors;
        state.lines.clear();
        state.left_out = 0;
    }
    pending_text.clear();
    av_log_set_callback(on_ffmpeg_log);
}

void set_ffmpeg_log_source(const std::string& name) {
    LogState& state = log_state();
    const std::lock_guard<std::mutex> lock(state.mutex);
    state.source = name;
}

std::vector<std::string> take_ffmpeg_log() {
    LogState& state = log_state();
    const std::lock_guard<std::mutex> lock(state.mutex);
    std::vector<std::string> lines = std::move(state.lines);
    if (state.left_out > 0) lines.push_back("(FFmpeg logged " + std::to_string(state.left_out) + " more errors)\n");
    state.lines.clear();
    state.left_out = 0;
    return lines;
}

}  // namespace orvane
