#include "dts/dts_parser_loop.hpp"

#include <stdexcept>

#include "dts/dts_frame_walk.hpp"
#include "ffmpeg/ffmpeg_handles.hpp"
#include "dts/dts_sync.hpp"

namespace orvane {

void run_dts_parser_segments(const StreamSegments& segments, DtsPacking packing, const DtsParserWording& wording,
                             const PlacedFrameAction& on_frame, std::size_t piece_size,
                             const CutFrameAction& on_cut_last_frame) {
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
        [&](const std::uint8_t* data, int size, bool during_flush) {
            // The parser ends a frame where the next sync word begins, so whatever lies between the
            // two (burst preambles, stuffing, carrier padding) would travel with it. A frame shorter
            // than its header declares (cut by the end of the data) is left whole, and so is one the
            // parser merged with the frame behind it (a damaged frame), whose bytes must not be lost.
            std::span<const std::uint8_t> frame(data, static_cast<std::size_t>(size));
            const std::uint64_t start = position;
            position += frame.size();
            // The parser ends a frame only where the next one begins, so a cut one comes last, at the flush.
            if (during_flush && on_cut_last_frame && is_cut_dts_frame(frame, packing)) {
                on_cut_last_frame(frame.size());
                return;
            }
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
                    std::size_t piece_size, const CutFrameAction& on_cut_last_frame) {
    if (analysis.sync_offset >= analysis.payload.size()) throw std::runtime_error("invalid DTS sync offset");
    run_dts_parser_segments(
        StreamSegments{1, [&analysis](std::size_t) { return dts_stream(analysis); }}, analysis.packing, wording,
        [&on_frame](std::span<const std::uint8_t> frame, int duration, std::uint64_t) { on_frame(frame, duration); },
        piece_size, on_cut_last_frame);
}

}  // namespace orvane
