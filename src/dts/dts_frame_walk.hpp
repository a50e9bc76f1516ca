#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "dts/dts_packing.hpp"

namespace orvane {

struct ByteRange {
    std::size_t offset = 0;
    std::size_t size = 0;
};

struct DtsFrameWalk {
    // Runs of complete core frames and extension blocks to keep, in stream order; adjacent ones merged.
    std::vector<ByteRange> kept;
    std::uint64_t core_frames = 0;
    std::uint64_t dropped_bytes = 0;
};

// Walks the core frames of a 16-bit stream from its first byte. Where no core frame follows, a DTS-HD
// extension substream block that fits is kept, otherwise the next core frame that fits is searched
// byte by byte; everything between and after the kept frames is dropped. When the stream does not
// start with a complete core frame, the whole stream is kept and nothing counts as dropped.
// `swapped` reads the stream as 16-bit little-endian words (pairs counted from the first byte).
DtsFrameWalk walk_dts_frames(std::span<const std::uint8_t> stream, bool swapped);

// Carried size of the frame at the start of `carried`, as the walk above keeps it: the core frame its
// header declares, plus (16-bit packings) the extension substream blocks right behind it that fit;
// a 14-bit core frame takes the whole words that hold its bits. 0 when `carried` does not begin with a
// core frame of that packing declaring a valid size that fits.
std::size_t dts_frame_extent(std::span<const std::uint8_t> carried, DtsPacking packing);

struct DtsFrameSize {
    std::size_t carried = 0;  // as dts_frame_extent
    std::size_t stream = 0;   // the bytes of DTS it holds: the same for 16-bit words, the core frame for 14-bit
};

DtsFrameSize dts_frame_size(std::span<const std::uint8_t> carried, DtsPacking packing);

// True when `carried` begins with a core frame header of that packing declaring more bytes than it
// holds: a frame cut short by the end of the data, as a CD track's end cuts the DTS stream.
bool is_cut_dts_frame(std::span<const std::uint8_t> carried, DtsPacking packing);

}  // namespace orvane
