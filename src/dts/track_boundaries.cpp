#include "dts/track_boundaries.hpp"

#include <stdexcept>
#include <string>

namespace orvane {

std::size_t track_of_frame(TrackBoundaries& boundaries, std::uint64_t frame_start) {
    while (boundaries.passed < boundaries.positions.size() && boundaries.positions[boundaries.passed] <= frame_start) {
        ++boundaries.passed;
    }
    return boundaries.passed;
}

std::vector<int> boundary_cuts_in_frame(TrackBoundaries& boundaries, std::uint64_t frame_start,
                                        std::uint64_t frame_end, int samples) {
    std::vector<int> cuts;
    const std::uint64_t span = frame_end > frame_start ? frame_end - frame_start : 0;
    while (boundaries.passed < boundaries.positions.size() && boundaries.positions[boundaries.passed] < frame_end) {
        const std::uint64_t at = boundaries.positions[boundaries.passed];
        std::uint64_t cut = 0;
        if (at > frame_start && span > 0 && samples > 0) {
            // Rounded to nearest, halves up; `at - frame_start` is below one frame's size, so no overflow.
            cut = ((at - frame_start) * static_cast<std::uint64_t>(samples) * 2 + span) / (span * 2);
        }
        cuts.push_back(static_cast<int>(cut));
        ++boundaries.passed;
    }
    return cuts;
}

void throw_track_without_frames(std::size_t track) {
    throw std::runtime_error("no DTS frame starts in track " + std::to_string(track + 1));
}

void require_one_output_per_track(const TrackBoundaries& boundaries, std::size_t outputs) {
    if (outputs != boundaries.positions.size() + 1) {
        throw std::runtime_error("internal error: track boundaries do not match the outputs");
    }
}

}  // namespace orvane
