#include "dts/dts_parser.hpp"

#include <algorithm>
#include <climits>
#include <stdexcept>
#include <vector>

#include "dts/dts_frame_walk.hpp"
#include "dts/dts_sync.hpp"
#include "ffmpeg/ffmpeg_handles.hpp"
#include "platform/interruption.hpp"

namespace orvane {
namespace {

constexpr std::size_t kPaddedTailSize = 4096;

// Returns false when the parser made no progress and returned nothing.
bool feed_piece(AVCodecParserContext* parser, AVCodecContext* context, const std::uint8_t* data, int size,
                const ParserFeedWording& wording, const ParserFrameAction& on_frame) {
    int remaining = size;
    const std::uint8_t* position = data;
    while (remaining > 0) {
        check_interruption();
        std::uint8_t* out = nullptr;
        int out_size = 0;
        const int consumed = av_parser_parse2(parser, context, &out, &out_size, position, remaining,
                                              AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        if (consumed < 0) throw std::runtime_error(wording.parse_error);
        if (out_size > 0 && out != nullptr) on_frame(out, out_size, false);
        if (consumed == 0 && out_size == 0) return false;
        position += consumed;
        remaining -= consumed;
    }
    return true;
}

// Offers one stretch of the stream. The parser keeps an unfinished frame in its own buffer, so the
// stretch may be released afterwards; its last bytes are offered from `tail`, which must stay until the
// flush is over.
void offer_to_dts_parser(AVCodecParserContext* parser, AVCodecContext* context, std::span<const std::uint8_t> stream,
                         const ParserFeedWording& wording, const ParserFrameAction& on_frame, std::size_t piece_size,
                         std::vector<std::uint8_t>& tail) {
    piece_size = std::clamp<std::size_t>(piece_size, 1, static_cast<std::size_t>(INT_MAX));
    const std::size_t tail_size = std::min(stream.size(), kPaddedTailSize);
    const std::size_t body_size = stream.size() - tail_size;

    bool progressing = true;
    for (std::size_t offset = 0; progressing && offset < body_size; offset += piece_size) {
        const std::size_t piece = std::min(piece_size, body_size - offset);
        progressing = feed_piece(parser, context, stream.data() + offset, static_cast<int>(piece), wording, on_frame);
    }
    // The caller keeps the tail until the flush is over, in case the parser still refers to its last input.
    tail.clear();
    if (progressing && tail_size > 0) {
        tail.assign(tail_size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        std::copy(stream.end() - static_cast<std::ptrdiff_t>(tail_size), stream.end(), tail.begin());
        for (std::size_t offset = 0; progressing && offset < tail_size; offset += piece_size) {
            const std::size_t piece = std::min(piece_size, tail_size - offset);
            progressing = feed_piece(parser, context, tail.data() + offset, static_cast<int>(piece), wording, on_frame);
        }
    }
}

// The end-of-input flush.
void flush_dts_parser(AVCodecParserContext* parser, AVCodecContext* context, const ParserFeedWording& wording,
                      const ParserFrameAction& on_frame) {
    for (;;) {
        check_interruption();
        std::uint8_t* out = nullptr;
        int out_size = 0;
        const int result = av_parser_parse2(parser, context, &out, &out_size, nullptr, 0, AV_NOPTS_VALUE,
                                            AV_NOPTS_VALUE, 0);
        if (result < 0) throw std::runtime_error(wording.flush_error);
        if (out_size <= 0) break;
        if (out != nullptr) on_frame(out, out_size, true);
    }
}

}  // namespace

void feed_dts_parser_segments(AVCodecParserContext* parser, AVCodecContext* context, const StreamSegments& segments,
                              const ParserFeedWording& wording, const ParserFrameAction& on_frame,
                              std::size_t piece_size) {
    std::vector<std::uint8_t> tail;
    for (std::size_t index = 0; index < segments.count; ++index) {
        offer_to_dts_parser(parser, context, segments.load(index), wording, on_frame, piece_size, tail);
    }
    flush_dts_parser(parser, context, wording, on_frame);
}

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
