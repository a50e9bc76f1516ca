#include "matroska/dts_packetiser.hpp"

#include <algorithm>
#include <functional>
#include <stdexcept>

#include "dts/dts_frame_walk.hpp"
#include "ffmpeg/ffmpeg_handles.hpp"
#include "input/dts_sync.hpp"

namespace orvane {

void run_dts_parser_segments(const StreamSegments& segments, DtsPacking packing, const DtsParserWording& wording,
                             const PlacedFrameAction& on_frame, std::size_t piece_size) {
    ParserHandle parser(av_parser_init(AV_CODEC_ID_DTS));
    if (!parser) throw std::runtime_error(wording.init_failure);
    const AVCodec* decoder = avcodec_find_decoder(AV_CODEC_ID_DTS);
    if (decoder == nullptr) throw std::runtime_error("FFmpeg DTS decoder is unavailable");
    // Never opened: av_parser_parse2 merely takes a codec context.
    CodecContextHandle context(avcodec_alloc_context3(decoder));
    if (!context) throw std::runtime_error("unable to allocate DTS parser context");

    AVCodecParserContext* const raw_parser = parser.get();
    std::uint64_t position = 0;
    feed_dts_parser_segments(
        raw_parser, context.get(), segments, ParserFeedWording{wording.parse_error, wording.flush_error},
        [&](const std::uint8_t* data, int size, bool) {
            // The parser ends a frame where the next sync word begins, so whatever lies between the
            // two (burst preambles, stuffing, carrier padding) would travel with it. A frame shorter
            // than its header declares (cut by the end of the data) is left whole, and so is one the
            // parser merged with the frame behind it (a damaged frame), whose bytes must not be lost.
            std::span<const std::uint8_t> frame(data, static_cast<std::size_t>(size));
            const std::uint64_t start = position;
            position += frame.size();
            const std::size_t extent = dts_frame_extent(frame, packing);
            if (extent > 0 && extent < frame.size()) {
                // A second sync word tells a merged frame from one followed by filler.
                const std::span<const std::uint8_t> after = frame.subspan(1);
                if (find_dts_sync(after.data(), after.size(), after.size()).first == DtsPacking::Unknown) {
                    frame = frame.first(extent);
                }
            }
            on_frame(frame, raw_parser->duration, start);
        },
        piece_size);
}

void run_dts_parser(const InputAnalysis& analysis, const DtsParserWording& wording, const DtsFrameAction& on_frame,
                    std::size_t piece_size) {
    if (analysis.sync_offset >= analysis.payload.size()) throw std::runtime_error("invalid DTS sync offset");
    run_dts_parser_segments(
        StreamSegments{1, [&analysis](std::size_t) { return dts_stream(analysis); }}, analysis.packing, wording,
        [&on_frame](std::span<const std::uint8_t> frame, int duration, std::uint64_t) { on_frame(frame, duration); },
        piece_size);
}

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

std::vector<DtsPacket> packetise_dts(const InputAnalysis& analysis, std::size_t piece_size) {
    static constexpr DtsParserWording kWording{"unable to initialise DTS parser for Matroska muxing",
                                               "DTS parser error during Matroska muxing",
                                               "DTS parser flush error during Matroska muxing"};
    std::vector<DtsPacket> packets;
    const std::span<const std::uint8_t> stream = dts_stream(analysis);
    run_dts_parser(
        analysis, kWording,
        [&](std::span<const std::uint8_t> frame, int duration) {
            // Frames mostly keep the first one's size: room for that many saves regrowing the array.
            if (packets.empty() && !frame.empty()) packets.reserve(stream.size() / frame.size() + 1);
            packets.push_back(make_dts_packet(frame, duration, stream));
        },
        piece_size);
    if (packets.empty()) throw std::runtime_error("DTS stream contained no complete packets for Matroska muxing");
    return packets;
}

}  // namespace orvane
