#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "common/tag_set.hpp"
#include "common/track_list.hpp"
#include "dts/dts_parser.hpp"
#include "dts/track_boundaries.hpp"
#include "input/input_analysis.hpp"

namespace orvane {

// Further settings of the decode operation: `conceal_damage` from the command line; the others are
// internal knobs, changed only by tests.
struct DecodeTuning {
    // Frames inside the stream that the decoder refuses become silence of their duration instead of
    // ending the run.
    bool conceal_damage = false;
    std::size_t parser_piece_size = kDefaultParserPieceSize;  // bytes offered to the parser per call
    // Where the stream starts in the input file, so damaged frames are reported by their input byte.
    std::uint64_t input_offset = 0;
};

// The .flac and .wav operations: decode the DTS stream and write 24-bit PCM to a FLAC or WAV file.
void decode_to_pcm_file(const InputAnalysis& analysis, const std::filesystem::path& output_path, bool to_flac,
                        bool overwrite, bool quiet, const TagSet& tags);

// `track_list` goes into a FLAC output as its CUESHEET.
void decode_to_pcm_file(const InputAnalysis& analysis, const std::filesystem::path& output_path, bool to_flac,
                        bool overwrite, bool quiet, const TagSet& tags, const DecodeTuning& tuning,
                        const TrackList& track_list = TrackList{});

// One track's output of a decode cut into tracks.
struct PcmTrackOutput {
    std::filesystem::path path;
    TagSet tags;
    TrackList track_list;  // FLAC only
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
