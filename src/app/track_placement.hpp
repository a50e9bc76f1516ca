#pragma once

#include <cstdint>
#include <vector>

#include "app/gapless_plan.hpp"
#include "dts/dts_packing.hpp"
#include "dts/track_boundaries.hpp"

namespace orvane {

// What the run learns of each carrier of a disc: what every one must share to continue the stream,
// and what placing the tracks in it needs.
struct CarrierTraits {
    bool has_pcm_carrier = false;
    std::uint32_t carrier_rate = 0;
    std::uint16_t carrier_bits = 0;
    std::uint16_t carrier_channels = 0;
    DtsPacking packing = DtsPacking::Unknown;
    int sample_rate = 0;
    int channels = 0;
    int samples_per_frame = 0;
    std::uint64_t payload_size = 0;
    std::uint64_t sync_offset = 0;
};

// The plan's tracks in the joined stream, which runs from the first carrier's sync word through every
// later payload whole: the byte at which each track after the first starts, and the stream's size.
struct TrackPlacement {
    TrackBoundaries boundaries;
    std::uint64_t total = 0;
};

// A track of the operand form starts with its carrier; one of the sheet form at its carrier's place in
// the stream plus its CD frames. Refuses, naming the track, a start at or beyond the end of its image
// and, after the first track, one at or before the first sync word; and, naming the image, one whose
// CD frames cannot be counted (see cd_frame_bytes).
TrackPlacement place_track_starts(const GaplessPlan& plan, const std::vector<CarrierTraits>& traits);

}  // namespace orvane
