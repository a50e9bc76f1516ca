#pragma once

#include <cstdint>
#include <vector>

#include "input/input_analysis.hpp"

namespace orvane {

// Cuts a 14-bit carried stream into the frames FFmpeg's DTS parser delimits, each checked for the
// detected packing's sync word, and returns their concatenation unchanged. Either count may be null.
std::vector<std::uint8_t> extract_14bit_frames(const InputAnalysis& analysis, std::uint64_t* frame_count,
                                               std::uint64_t* consumed_bytes);

}  // namespace orvane
