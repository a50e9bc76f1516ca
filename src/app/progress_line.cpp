#include "app/progress_line.hpp"

#include <iostream>

namespace orvane {

void ProgressLine::draw(std::size_t track, std::uint64_t position) {
    if (!shown) return;
    if (position >= total) {
        clear();
        return;
    }
    // Reached only while position < total, so total is never 0 here.
    const int percent = static_cast<int>(position * 100 / total);
    if (track == last_track && percent == last_percent) return;
    last_track = track;
    last_percent = percent;
    if (disc) {
        std::cerr << "\rTrack " << track + 1 << " of " << count << ", " << percent << "% of the disc" << std::flush;
    } else {
        std::cerr << "\r" << percent << "% of the input" << std::flush;
    }
}

void ProgressLine::clear() {
    if (shown && last_percent >= 0) std::cerr << "\r\033[K" << std::flush;
    last_percent = -1;
}

}  // namespace orvane
