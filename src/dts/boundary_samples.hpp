#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "dts/dts_packing.hpp"

namespace orvane {

// Where a stream's output stands at each of the given byte positions (ascending, counted from the
// stream's first byte): the output sample frame at which the writers that cut a stream into tracks
// would start a track there. Decoded outputs cut inside a frame by the rule of boundary_cuts_in_frame;
// outputs of whole frames (`whole_frames`, Matroska) start a track with the first frame that starts
// at or after the position. The stream is parsed, not decoded: every frame counts the samples its
// header declares, as the decoder and the muxer count them.
struct BoundarySamples {
    std::vector<std::uint64_t> samples;  // one per position
    std::uint64_t total = 0;             // the whole stream's sample frames
};

BoundarySamples boundary_samples(std::span<const std::uint8_t> stream, DtsPacking packing,
                                 const std::vector<std::uint64_t>& positions, bool whole_frames);

}  // namespace orvane
