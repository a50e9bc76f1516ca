#pragma once

#include <filesystem>

#include "app/tag_set.hpp"
#include "input/input_analysis.hpp"

namespace orvane {

// The .flac and .wav operations: decode the DTS stream and write 24-bit PCM to a FLAC or WAV file.
void decode_to_pcm_file(const InputAnalysis& analysis, const std::filesystem::path& output_path, bool to_flac,
                        bool overwrite, bool quiet, const TagSet& tags);

}  // namespace orvane
