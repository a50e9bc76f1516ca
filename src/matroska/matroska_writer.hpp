#pragma once

#include <filesystem>
#include <vector>

#include "common/tag_set.hpp"
#include "common/track_list.hpp"
#include "dts/dts_parser.hpp"
#include "dts/track_boundaries.hpp"
#include "input/input_analysis.hpp"

extern "C" {
#include <libavutil/dict.h>
}

namespace orvane {

// The .mka operation: the DTS frames, whole and losslessly in the 16-bit big-endian form that Matroska's
// A_DTS holds (14-bit words repacked, little-endian words swapped), in a Matroska file with sample-based
// timestamps and tags, and one chapter per track of `chapters` (its offsets in the stream's samples).
void mux_matroska(const std::filesystem::path& output_path, const InputAnalysis& analysis, bool overwrite, bool quiet,
                  const TagSet& tags, const TrackList& chapters = TrackList{});

struct MatroskaTrackOutput {
    std::filesystem::path path;
    TagSet tags;
};

// The .mka operation over one continuous stream fed segment by segment through one parser: every
// frame goes whole to the track in which it starts, each track's file timed from 0.
// `on_progress` is told after every frame. Returns the size of a cut final frame left out, or 0.
std::size_t mux_matroska_tracks(const StreamSegments& segments, DtsPacking packing,
                                const std::vector<MatroskaTrackOutput>& tracks, TrackBoundaries boundaries,
                                bool overwrite, bool quiet, const TrackProgress& on_progress = {});

void set_matroska_tags(AVDictionary** metadata, const TagSet& tags);

}  // namespace orvane
