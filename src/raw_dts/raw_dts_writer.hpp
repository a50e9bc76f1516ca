#pragma once

#include <cstdint>
#include <ostream>

#include "dts/dts_source.hpp"
#include "output/output_settings.hpp"

namespace orvane {

// What the extraction of a disc's stream did, for the driver to report.
struct RawDtsSummary {
    std::uint64_t frames = 0;
    std::uint64_t dropped_bytes = 0;   // carrier padding left out
    std::uint64_t cut_last_frame = 0;  // bytes of a cut final 14-bit frame left out
};

// The .dts operation: the carried bitstream, losslessly, into raw DTS files, one per track. A disc's
// stream is fed segment by segment through one parser and every frame goes whole to the track in which
// it starts, kept as a file's extraction keeps it, so the tracks' files joined are the extraction of
// the joined stream; its summary is returned.
// A file's stream is extracted whole instead, not cut by the parser, and reported to `report` as it
// goes: a 16-bit stream is walked from frame to frame, so that junk between frames is located by its
// input byte and a raw stream is copied to its end whatever follows its last frame (the parser's
// frames, trimmed to their declared size, show neither), and a 14-bit stream's frames are delimited,
// checked (two at least) and counted before its output is made.
RawDtsSummary write_raw_dts(const DtsSource& source, const TrackOutputs& tracks, const OutputSettings& settings,
                            std::ostream& report);

}  // namespace orvane
