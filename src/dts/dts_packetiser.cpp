#include "dts/dts_packetiser.hpp"

#include <algorithm>
#include <functional>
#include <stdexcept>

#include "ffmpeg/ffmpeg_handles.hpp"

namespace orvane {

DtsPacket make_dts_packet(std::span<const std::uint8_t> frame, std::int32_t duration,
                          std::span<const std::uint8_t> stream) {
    DtsPacket packet;
    packet.duration = duration;
    // Compared as addresses: the parser hands back either a pointer into what it was offered or one
    // into its own buffer (or a padded tail copy), which may be reused by its next call.
    const std::less_equal<const std::uint8_t*> not_after;
    const bool inside = !stream.empty() && not_after(stream.data(), frame.data()) &&
                        not_after(frame.data() + frame.size(), stream.data() + stream.size());
    if (inside) {
        packet.data = frame;
    } else {
        packet.copy.assign(frame.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        std::copy(frame.begin(), frame.end(), packet.copy.begin());
        packet.data = std::span<const std::uint8_t>(packet.copy.data(), frame.size());
    }
    return packet;
}

std::vector<DtsPacket> packetise_dts(const InputAnalysis& analysis, std::size_t piece_size,
                                     std::size_t* cut_last_frame) {
    static constexpr DtsParserWording kWording{"unable to initialise DTS parser for Matroska muxing",
                                               "DTS parser error during Matroska muxing",
                                               "DTS parser flush error during Matroska muxing"};
    std::vector<DtsPacket> packets;
    std::size_t cut = 0;
    const std::span<const std::uint8_t> stream = dts_stream(analysis);
    run_dts_parser(
        analysis, kWording,
        [&](std::span<const std::uint8_t> frame, int duration) {
            // Frames mostly keep the first one's size: room for that many saves regrowing the array.
            if (packets.empty() && !frame.empty()) packets.reserve(stream.size() / frame.size() + 1);
            packets.push_back(make_dts_packet(frame, duration, stream));
        },
        piece_size, [&cut](std::size_t size) { cut = size; });
    if (cut_last_frame != nullptr) *cut_last_frame = cut;
    if (packets.empty()) throw std::runtime_error("DTS stream contained no complete packets for Matroska muxing");
    return packets;
}

}  // namespace orvane
