#pragma once

// The FLAC CUESHEET metadata block: a whole disc's track list inside the one FLAC file of its image.

#include <cstdint>
#include <vector>

#include "common/track_list.hpp"

namespace orvane {

// The block body for the tracks (offsets in sample frames of the output) and a lead-out at
// `total_samples`. Offsets are written as FLAC wants them: a track's at its first index point, its
// index points relative to it.
std::vector<std::uint8_t> build_flac_cuesheet_body(const TrackList& tracks, std::uint64_t total_samples,
                                                   int sample_rate);

}  // namespace orvane
