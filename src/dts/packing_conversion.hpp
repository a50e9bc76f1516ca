#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "common/byte_order.hpp"
#include "input/input_analysis.hpp"

namespace orvane {

// The bitstream of a .dts file from the first sync word: 16-bit packings big-endian, 14-bit packings
// as the parser-delimited frames in their carried form (counts are set only for 14-bit packings).
std::vector<std::uint8_t> normalise_dts_payload(const InputAnalysis& analysis, std::uint64_t* frame_count,
                                                std::uint64_t* consumed_bytes);

// The 14 bits of DTS one carried 16-bit word holds (its byte order given).
inline std::uint64_t word14(const std::uint8_t* at, bool little_endian) {
    return std::uint64_t{little_endian ? read_le16(at) : read_be16(at)} & 0x3FFF;
}

// Joins the low 14 bits of each 16-bit word of `carried` (its byte order given), most significant bit
// first, into `out`, until `out` is full; bytes the words cannot fill are zeroed.
void unpack_14bit_words(std::span<const std::uint8_t> carried, bool little_endian, std::span<std::uint8_t> out);

// One carried frame in the form every DTS container holds, 16-bit big-endian words: 16-bit
// little-endian words swapped (a final odd byte stays), 14-bit words repacked into the bits they carry.
// The size of that form: a 14-bit frame that is exactly the words holding its core frame takes the size
// its header declares, without the padding of its last word; any other 14-bit span every whole byte its
// words carry; 16-bit words their own size.
std::size_t standard_dts_frame_size(std::span<const std::uint8_t> carried, DtsPacking packing);

// Writes that form into `out`, which holds standard_dts_frame_size bytes.
void write_standard_dts_frame(std::span<const std::uint8_t> carried, DtsPacking packing, std::span<std::uint8_t> out);

}  // namespace orvane
