#pragma once

#include <cstddef>
#include <filesystem>

#include "output/tag_set.hpp"
#include "dts/dts_parser_feed.hpp"
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

}  // namespace orvane
