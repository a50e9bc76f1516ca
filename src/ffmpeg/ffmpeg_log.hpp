#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace orvane {

// What becomes of FFmpeg's own log during a run.
struct FfmpegLogCapture {
    // Collect its error lines for the failure report; otherwise every line is dropped.
    bool keep_errors = false;
};

// Takes FFmpeg's log off the terminal for the rest of the process: lines at error level and worse
// are collected (when kept) by the thread that logs them, each prefixed with the name of the input
// that thread reads; the rest is dropped. Clears what this thread collected before.
void capture_ffmpeg_log(FfmpegLogCapture capture);

// The name that prefixes the lines FFmpeg logs on this thread from now on: the input file being read.
void set_ffmpeg_log_source(const std::string& name);

// This thread's collected lines, each ending in a line feed, and its collection emptied.
std::vector<std::string> take_ffmpeg_log();

// What a helper thread collected, handed to the thread whose work it did.
struct FfmpegLogLines {
    std::vector<std::string> lines;
    std::size_t left_out = 0;  // lines beyond the kept ones
};

// This thread's source name, for a helper thread to log under.
std::string ffmpeg_log_source();

// This thread's collection as it is, and emptied.
FfmpegLogLines take_ffmpeg_log_lines();

// Adds a helper thread's collection behind this thread's, within the same limit.
void add_ffmpeg_log_lines(FfmpegLogLines collected);

}  // namespace orvane
