#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "input/input_analysis.hpp"

namespace orvane {

// The bitstream of a .dts file from the first sync word: 16-bit packings big-endian, 14-bit packings
// as the parser-delimited frames in their carried form (counts are set only for 14-bit packings).
// Exchanges the bytes of every pair from the start; a final odd byte stays where it is.
void swap_byte_pairs_in_place(std::uint8_t* data, std::size_t size);

std::vector<std::uint8_t> normalise_dts_payload(const InputAnalysis& analysis, std::uint64_t* frame_count,
                                                std::uint64_t* consumed_bytes);

}  // namespace orvane
