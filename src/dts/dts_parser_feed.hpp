#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace orvane {

// The parser's size argument is a signed 32-bit int, so longer streams go in pieces below 2^31 bytes.
inline constexpr std::size_t kDefaultParserPieceSize = std::size_t{1} << 30;

struct ParserFeedWording {
    const char* parse_error;  // av_parser_parse2 negative while feeding
    const char* flush_error;  // av_parser_parse2 negative while flushing
};

// Called for each frame the parser returns; the bytes are valid only during the call.
// `during_flush` tells the frames released by the end-of-input flush from the others.
using ParserFrameAction = std::function<void(const std::uint8_t* data, int size, bool during_flush)>;

// Offers `stream` to the parser, unconverted, in pieces of at most `piece_size` bytes, then flushes it
// until it returns nothing more. The stream's last bytes are offered from a small zero-padded copy,
// which gives FFmpeg the readable padding it wants behind its input without copying the whole stream.
// A call that consumes nothing and returns nothing ends the feeding (the flush still runs).
void feed_dts_parser(AVCodecParserContext* parser, AVCodecContext* context, std::span<const std::uint8_t> stream,
                     const ParserFeedWording& wording, const ParserFrameAction& on_frame,
                     std::size_t piece_size = kDefaultParserPieceSize);

// The two halves of feed_dts_parser: offering one stretch of the stream (the parser keeps an unfinished
// frame in its own buffer, so the stretch may be released afterwards; its last bytes are offered from
// `tail`, which must stay until the flush is over), and the end-of-input flush.
void offer_to_dts_parser(AVCodecParserContext* parser, AVCodecContext* context, std::span<const std::uint8_t> stream,
                         const ParserFeedWording& wording, const ParserFrameAction& on_frame, std::size_t piece_size,
                         std::vector<std::uint8_t>& tail);
void flush_dts_parser(AVCodecParserContext* parser, AVCodecContext* context, const ParserFeedWording& wording,
                      const ParserFrameAction& on_frame);

// One continuous stream that arrives in consecutive stretches (the payloads of a disc's tracks), loaded
// one at a time: the bytes `load(k)` returns stay valid only until the next call, so no more than one
// stretch is held at once.
struct StreamSegments {
    std::size_t count = 0;
    std::function<std::span<const std::uint8_t>(std::size_t index)> load;
};

// Offers every segment in order to the one parser, then flushes it: frames that straddle two segments
// come out whole, as from the joined stream.
void feed_dts_parser_segments(AVCodecParserContext* parser, AVCodecContext* context, const StreamSegments& segments,
                              const ParserFeedWording& wording, const ParserFrameAction& on_frame,
                              std::size_t piece_size = kDefaultParserPieceSize);

}  // namespace orvane
