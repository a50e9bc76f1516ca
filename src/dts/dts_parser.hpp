#pragma once

// FFmpeg's DTS parser over one continuous stream: fed in pieces with a padded tail and flushed at
// the end, every frame it returns cut to the bytes its header declares.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "input/input_analysis.hpp"

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

// Called for each frame the parser returns, with the duration it reported (0 for none); the bytes are
// valid only during the call. `during_flush` tells the frames released by the end-of-input flush from
// the others.
using ParserFrameAction = std::function<void(const std::uint8_t* data, int size, int duration, bool during_flush)>;

// Whether regular frames are delimited without the parser (see dts_frame_delimiter.hpp). Either way
// gives the same frames; the parser alone is the reference the other is checked against.
enum class FrameDelimiting { RegularFramesDirectly, ParserOnly };

// One continuous stream that arrives in consecutive stretches (the payloads of a disc's tracks), loaded
// one at a time: the bytes `load(k)` returns stay valid only until the next call, so no more than one
// stretch is held at once.
struct StreamSegments {
    std::size_t count = 0;
    std::function<std::span<const std::uint8_t>(std::size_t index)> load;
};

// Offers every segment in order to the one parser, unconverted, in pieces of at most `piece_size`
// bytes, then flushes it until it returns nothing more: frames that straddle two segments come out
// whole, as from the joined stream. Each segment's last bytes are offered from a small zero-padded
// copy, which gives FFmpeg the readable padding it wants behind its input without copying the whole
// stretch. A call that consumes nothing and returns nothing ends the feeding of that segment (the
// flush still runs). Where the parser has just ended a frame and the frames after it are regular, they
// are delimited directly and the parser takes over again at the first frame that is not.
void feed_dts_parser_segments(AVCodecParserContext* parser, AVCodecContext* context, const StreamSegments& segments,
                              const ParserFeedWording& wording, const ParserFrameAction& on_frame,
                              std::size_t piece_size = kDefaultParserPieceSize,
                              FrameDelimiting delimiting = FrameDelimiting::RegularFramesDirectly);

// A frame as the parser returned it, cut to the size its header declares (`dts_frame_extent`) unless it
// holds a second sync word: the parser ends a frame only where the next one begins, so whatever lies
// between (burst preambles, stuffing, carrier padding) would travel with it, while a frame merged with
// a damaged one behind it must keep all its bytes. A frame shorter than it declares stays whole.
std::span<const std::uint8_t> without_filler(std::span<const std::uint8_t> frame, DtsPacking packing);

// The three messages that differ between the users of the parser loop.
struct DtsParserWording {
    const char* init_failure;
    const char* parse_error;
    const char* flush_error;
};

// One complete frame as the parser returned it, and the duration it reported (0 for none).
// The bytes are valid only during the call.
using DtsFrameAction = std::function<void(std::span<const std::uint8_t> frame, int duration)>;

// Told, in place of the frame action, of a frame released by the final flush that is shorter than its
// header declares (a stream cut inside its last frame): the frame's size in bytes. Without it, such a
// frame goes to the frame action like any other.
using CutFrameAction = std::function<void(std::size_t size)>;

// Offers the analysed stream from its sync word on, unconverted, to a parser of its own (in pieces of
// at most `piece_size` bytes, then the flush) and hands every frame to `on_frame` in stream order,
// each cut to the size its header declares (`dts_frame_extent`) unless it holds a second sync word:
// no bytes from between the frames, and none of a frame the parser merged with a damaged one.
// The parser and its context are released on every path, also when `on_frame` throws.
void run_dts_parser(const InputAnalysis& analysis, const DtsParserWording& wording, const DtsFrameAction& on_frame,
                    std::size_t piece_size = kDefaultParserPieceSize, const CutFrameAction& on_cut_last_frame = {});

// A frame as above, and where the parser's frame began in the stream (its uncut bytes counted).
using PlacedFrameAction = std::function<void(std::span<const std::uint8_t> frame, int duration, std::uint64_t start)>;

// The same over a stream of the given packing fed segment by segment through one parser.
void run_dts_parser_segments(const StreamSegments& segments, DtsPacking packing, const DtsParserWording& wording,
                             const PlacedFrameAction& on_frame, std::size_t piece_size = kDefaultParserPieceSize,
                             const CutFrameAction& on_cut_last_frame = {});

}  // namespace orvane
