#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "dts/dts_parser.hpp"
#include "input/input_analysis.hpp"

namespace orvane {

// Cuts a 14-bit carried stream into the frames FFmpeg's DTS parser delimits, each checked for the
// detected packing's sync word, and returns their concatenation unchanged; a last frame cut short by the
// end of the data is left out. Either count may be null.
std::vector<std::uint8_t> extract_14bit_frames(const InputAnalysis& analysis, std::uint64_t* frame_count,
                                               std::uint64_t* consumed_bytes);

// The same extraction without a copy of the result where none is needed. The parser's frames follow
// one another from the sync word on, so their concatenation is normally a prefix of the stream:
// then `bytes` views it inside the analysis payload and `copy` stays empty; otherwise `copy` holds the
// concatenation and `bytes` views that. Move-only, and must not outlive the analysis.
struct FourteenBitFrames {
    std::span<const std::uint8_t> bytes;
    std::vector<std::uint8_t> copy;
    std::uint64_t frame_count = 0;
    std::size_t cut_last_frame = 0;  // bytes of the cut final frame left out, 0 for none

    FourteenBitFrames() = default;
    FourteenBitFrames(FourteenBitFrames&&) noexcept = default;
    FourteenBitFrames& operator=(FourteenBitFrames&&) noexcept = default;
    FourteenBitFrames(const FourteenBitFrames&) = delete;
    FourteenBitFrames& operator=(const FourteenBitFrames&) = delete;
};

FourteenBitFrames delimit_14bit_frames(const InputAnalysis& analysis,
                                       std::size_t piece_size = kDefaultParserPieceSize);

}  // namespace orvane
