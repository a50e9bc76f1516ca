#pragma once

#include <string>
#include <vector>

namespace orvane {

// What becomes of FFmpeg's own log during a run.
struct FfmpegLogCapture {
    // Collect its error lines for the failure report; otherwise every line is dropped.
    bool keep_errors = false;
};

// Takes FFmpeg's log off the terminal for the rest of the process: lines at error level and worse
// are collected (when kept), each prefixed with the name of the input being read; the rest is
// dropped. Clears what an earlier run collected.
void capture_ffmpeg_log(FfmpegLogCapture capture);

// The name that prefixes the lines FFmpeg logs from now on: the input file being read.
void set_ffmpeg_log_source(const std::string& name);

// The collected lines, each ending in a line feed, and the collection emptied.
std::vector<std::string> take_ffmpeg_log();

}  // namespace orvane
