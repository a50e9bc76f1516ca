#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "dts/dts_parser.hpp"
#include "input/input_analysis.hpp"

namespace orvane {

// One parser-delimited frame. Most frames lie whole in the analysed payload and are only viewed there;
// a frame the parser had to assemble in its own buffer is copied into `copy` and viewed there instead.
// So a packet must not outlive the analysis it came from. Move-only: a copy would view the original's bytes.
struct DtsPacket {
    std::span<const std::uint8_t> data;
    std::int32_t duration = 0;  // samples per channel; 0 when the parser reported none
    std::vector<std::uint8_t> copy;  // owned bytes (with zeroed padding behind them), or empty

    DtsPacket() = default;
    DtsPacket(DtsPacket&&) noexcept = default;
    DtsPacket& operator=(DtsPacket&&) noexcept = default;
    DtsPacket(const DtsPacket&) = delete;
    DtsPacket& operator=(const DtsPacket&) = delete;

    bool is_view() const { return copy.empty(); }
};

// Views the frame when it lies inside `stream`, copies it otherwise.
DtsPacket make_dts_packet(std::span<const std::uint8_t> frame, std::int32_t duration,
                          std::span<const std::uint8_t> stream);

// Cuts the stream into the frames FFmpeg's DTS parser delimits; never empty on success. Whole frames
// only: a last frame cut short by the end of the data is left out, its size told to `cut_last_frame`
// (0 when there is none) when given.
std::vector<DtsPacket> packetise_dts(const InputAnalysis& analysis, std::size_t piece_size = kDefaultParserPieceSize,
                                     std::size_t* cut_last_frame = nullptr);

}  // namespace orvane
