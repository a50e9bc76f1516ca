#pragma once

// Carriers as rippers store them: a WAV file encoded by the `flac` or `wavpack` command-line tool.

#include <string>
#include <vector>

#include "support/dts_clip.hpp"

namespace orvane::test {

enum class LosslessTool { Flac, WavPack };

// The file the tool makes from `wav` with its default settings plus `options` (tags, for example);
// throws std::runtime_error when the tool fails.
Bytes encode_lossless(const Bytes& wav, LosslessTool tool, const std::vector<std::string>& options = {});

// Offset of the first audio frame of a FLAC file (after the metadata blocks).
std::size_t flac_first_frame(const Bytes& flac);

}  // namespace orvane::test
