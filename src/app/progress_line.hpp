#pragma once

#include <cstddef>
#include <cstdint>

namespace orvane {

// "Track k of n, p% of the disc" ("p% of the input" for one file), redrawn in place on a terminal's
// standard error while the outputs are written; gone before the closing lines on standard output,
// which share the terminal.
struct ProgressLine {
    bool shown = false;
    bool disc = true;         // a disc's tracks, not one file
    std::size_t count = 0;    // tracks
    std::uint64_t total = 0;  // bytes of the stream
    std::size_t last_track = SIZE_MAX;
    int last_percent = -1;

    ProgressLine() = default;
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;
    ~ProgressLine() { clear(); }

    // The track being written and the bytes of the stream behind it; the line goes at the stream's end.
    void draw(std::size_t track, std::uint64_t position);
    void clear();
};

}  // namespace orvane
