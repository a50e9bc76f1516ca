#pragma once

#include <cstdint>
#include <vector>

#include "dts/dts_parser.hpp"
#include "dts/track_boundaries.hpp"
#include "input/input_analysis.hpp"
#include "output/output_settings.hpp"

namespace orvane {

// The DTS stream a writer reads: one analysed file's, or a disc's carried in the payloads of its
// carriers one after another.
struct DtsSource {
    StreamSegments segments;
    DtsPacking packing = DtsPacking::Unknown;
    bool carried = false;            // in a PCM carrier's samples, not a raw DTS stream
    std::uint64_t input_offset = 0;  // where the stream starts in its input file, for reported positions
    const InputAnalysis* file = nullptr;  // the analysed file whose stream it is, held whole; none for a disc
};

// The analysed file's stream from its first sync word, as one segment.
inline DtsSource file_source(const InputAnalysis& analysis) {
    return DtsSource{StreamSegments{1, [&analysis](std::size_t) { return dts_stream(analysis); }}, analysis.packing,
                     analysis.has_pcm_carrier, analysis.payload_offset + analysis.sync_offset, &analysis};
}

// Where a writer's outputs go: one per track of the stream, cut at the boundaries; a file is the one
// track without boundaries.
struct TrackOutputs {
    std::vector<TrackOutput> outputs;
    TrackBoundaries boundaries;
    TrackProgress on_progress;  // told after every frame
};

}  // namespace orvane
