#pragma once

#include <cstddef>
#include <ostream>

#include "common/tag_set.hpp"
#include "dts/dts_source.hpp"
#include "output/output_settings.hpp"

extern "C" {
#include <libavutil/dict.h>
}

namespace orvane {

// The .mka operation: the DTS frames, whole and losslessly in the 16-bit big-endian form that Matroska's
// A_DTS holds (14-bit words repacked, little-endian words swapped), fed segment by segment through one
// parser, in one Matroska file per track: every frame goes whole to the track in which it starts, each
// file timed from 0 in the stream's sample clock, with its track's tags and one chapter per entry of
// its track list (offsets in the stream's samples). Each finished file is reported to `report`.
// Returns the size of a cut final frame left out, or 0.
std::size_t mux_matroska(const DtsSource& source, const TrackOutputs& tracks, const OutputSettings& settings,
                         std::ostream& report);

void set_matroska_tags(AVDictionary** metadata, const TagSet& tags);

}  // namespace orvane
