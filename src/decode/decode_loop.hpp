#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <vector>

#include "output/tag_set.hpp"
#include "dts/dts_parser_feed.hpp"
#include "dts/track_boundaries.hpp"
#include "input/input_analysis.hpp"

namespace orvane {

// Internal knobs of the decode operation, changed only by tests.
struct DecodeTuning {
    std::size_t parser_piece_size = kDefaultParserPieceSize;  // bytes offered to the parser per call
};

// The .flac and .wav operations: decode the DTS stream and write 24-bit PCM to a FLAC or WAV file.
void decode_to_pcm_file(const InputAnalysis& analysis, const std::filesystem::path& output_path, bool to_flac,
                        bool overwrite, bool quiet, const TagSet& tags);

void decode_to_pcm_file(const InputAnalysis& analysis, const std::filesystem::path& output_path, bool to_flac,
                        bool overwrite, bool quiet, const TagSet& tags, const DecodeTuning& tuning);

// One track's output of a decode cut into tracks.
struct PcmTrackOutput {
    std::filesystem::path path;
    TagSet tags;
};

// Decodes one continuous stream, fed segment by segment through one parser and one decoder, into one
// output per track, cut at the boundaries sample exactly (each output holds exactly its samples).
// `on_progress` is told after every frame. One track and no boundaries is the
// single-file operation.
void decode_to_pcm_tracks(const StreamSegments& segments, const std::vector<PcmTrackOutput>& tracks,
                          TrackBoundaries boundaries, bool to_flac, bool overwrite, bool quiet,
                          const DecodeTuning& tuning = DecodeTuning{},
                          const TrackProgress& on_progress = {});

}  // namespace orvane
