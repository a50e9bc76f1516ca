#include "dts/dts_parser_feed.hpp"

#include <algorithm>
#include <climits>
#include <stdexcept>
#include <vector>

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

}  // namespace

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

void feed_dts_parser(AVCodecParserContext* parser, AVCodecContext* context, std::span<const std::uint8_t> stream,
                     const ParserFeedWording& wording, const ParserFrameAction& on_frame, std::size_t piece_size) {
    std::vector<std::uint8_t> tail;
    offer_to_dts_parser(parser, context, stream, wording, on_frame, piece_size, tail);
    flush_dts_parser(parser, context, wording, on_frame);
}

void feed_dts_parser_segments(AVCodecParserContext* parser, AVCodecContext* context, const StreamSegments& segments,
                              const ParserFeedWording& wording, const ParserFrameAction& on_frame,
                              std::size_t piece_size) {
    std::vector<std::uint8_t> tail;
    for (std::size_t index = 0; index < segments.count; ++index) {
        offer_to_dts_parser(parser, context, segments.load(index), wording, on_frame, piece_size, tail);
    }
    flush_dts_parser(parser, context, wording, on_frame);
}

}  // namespace orvane
