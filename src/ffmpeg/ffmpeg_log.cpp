#include "ffmpeg/ffmpeg_log.hpp"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <list>
#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

namespace orvane {
namespace {

// A damaged rip concealed frame by frame logs an error per frame: the first ones tell enough.
constexpr std::size_t kKeptLines = 50;

std::atomic<bool> keep_errors{false};

// Each thread collects what it logs: FFmpeg runs a codec on the thread that calls it (one thread per
// codec context, as this program opens them), so a conversion's lines, named by its input, stay with
// the conversion, also when several run at once.
struct LogState {
    std::string source;
    std::vector<std::string> lines;
    std::size_t left_out = 0;
    std::string pending_text;  // FFmpeg may write a line in several calls
};

// The states of every thread that logged, for the life of the process. A thread finds its own
// through a plain pointer: MinGW frees a thread-local object's storage before running its destructor
// when the thread ends, a crash at the end of a helper thread.
struct LogStates {
    std::mutex mutex;
    std::list<LogState> states;
};

thread_local LogState* this_thread_state = nullptr;

LogState& log_state() {
    if (this_thread_state == nullptr) {
        static LogStates all;
        const std::lock_guard<std::mutex> lock(all.mutex);
        this_thread_state = &all.states.emplace_back();
    }
    return *this_thread_state;
}

// "[dca] " for a message of a decoder context: the component without its address.
std::string component_of(void* context) {
    const AVClass* const component = context != nullptr ? *static_cast<AVClass**>(context) : nullptr;
    if (component == nullptr || component->item_name == nullptr) return "";
    const char* const name = component->item_name(context);
    return name != nullptr && *name != '\0' ? "[" + std::string(name) + "] " : "";
}

void on_ffmpeg_log(void* context, int level, const char* format, va_list arguments) {
    if ((level & 0xFF) > AV_LOG_ERROR) return;
    if (!keep_errors.load()) return;
    LogState& state = log_state();
    char text[1024];
    std::vsnprintf(text, sizeof text, format, arguments);
    state.pending_text += text;
    for (std::size_t end; (end = state.pending_text.find('\n')) != std::string::npos;) {
        const std::string message = state.pending_text.substr(0, end + 1);
        state.pending_text.erase(0, end + 1);
        if (message == "\n") continue;
        if (state.lines.size() < kKeptLines) {
            state.lines.push_back(state.source + ": " + component_of(context) + message);
        } else {
            ++state.left_out;
        }
    }
}

}  // namespace

void capture_ffmpeg_log(FfmpegLogCapture capture) {
    keep_errors.store(capture.keep_errors);
    log_state() = LogState{};
    av_log_set_callback(on_ffmpeg_log);
}

void set_ffmpeg_log_source(const std::string& name) {
    log_state().source = name;
}

std::vector<std::string> take_ffmpeg_log() {
    FfmpegLogLines collected = take_ffmpeg_log_lines();
    if (collected.left_out > 0) {
        collected.lines.push_back("(FFmpeg logged " + std::to_string(collected.left_out) + " more errors)\n");
    }
    return std::move(collected.lines);
}

std::string ffmpeg_log_source() { return log_state().source; }

FfmpegLogLines take_ffmpeg_log_lines() {
    LogState& state = log_state();
    FfmpegLogLines collected{std::move(state.lines), state.left_out};
    state.lines.clear();
    state.left_out = 0;
    return collected;
}

void add_ffmpeg_log_lines(FfmpegLogLines collected) {
    LogState& state = log_state();
    for (std::string& line : collected.lines) {
        if (state.lines.size() < kKeptLines) {
            state.lines.push_back(std::move(line));
        } else {
            ++state.left_out;
        }
    }
    state.left_out += collected.left_out;
}

}  // namespace orvane
