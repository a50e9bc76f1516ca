#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "dts/dts_parser.hpp"
#include "dts/track_boundaries.hpp"
#include "input/input_analysis.hpp"

namespace orvane {

// The .dts operation: lossless extraction of the carried bitstream into a raw DTS file.
void write_raw_dts(const std::filesystem::path& output_path, const InputAnalysis& analysis, bool overwrite,
                   bool quiet);

// The .dts operation over one continuous stream fed segment by segment through one parser: every frame
// goes whole to the track in which it starts, kept as the single-file extraction keeps it, so the
// tracks' files joined are the extraction of the joined stream. `on_progress` is told after every
// frame.
struct RawDtsTracksSummary {
    std::uint64_t frames = 0;
    std::uint64_t dropped_bytes = 0;  // carrier padding left out
    std::uint64_t cut_last_frame = 0;  // bytes of a cut final 14-bit frame left out
};

RawDtsTracksSummary write_raw_dts_tracks(const StreamSegments& segments,
                                         const std::vector<std::filesystem::path>& tracks, TrackBoundaries boundaries,
                                         DtsPacking packing, bool is_wav_carrier, bool overwrite,
                                         const TrackProgress& on_progress = {});

}  // namespace orvane
