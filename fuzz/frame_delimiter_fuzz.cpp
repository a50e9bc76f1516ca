// The frames of any stream, delimited with regular frames taken directly, must be exactly the frames
// FFmpeg's parser alone returns: the same bytes, durations and flush marks, in the same order.
// The first byte chooses the piece size the parser is offered; the second cuts the stream into two
// segments (a disc's tracks), 0 for one.

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

#include "dts/dts_parser.hpp"
#include "ffmpeg/ffmpeg_handles.hpp"
#include "fuzz_common.hpp"

namespace {

using namespace orvane;

struct ParsedFrame {
    std::vector<std::uint8_t> bytes;
    int duration = 0;
    bool during_flush = false;
    bool operator==(const ParsedFrame&) const = default;
};

struct Parsed {
    std::vector<ParsedFrame> frames;
    bool failed = false;
    bool operator==(const Parsed&) const = default;
};

Parsed parse(const StreamSegments& segments, std::size_t piece_size, FrameDelimiting delimiting) {
    ParserHandle parser(av_parser_init(AV_CODEC_ID_DTS));
    CodecContextHandle context(avcodec_alloc_context3(avcodec_find_decoder(AV_CODEC_ID_DTS)));
    ORVANE_FUZZ_CHECK(parser && context);
    Parsed parsed;
    try {
        feed_dts_parser_segments(
            parser.get(), context.get(), segments, ParserFeedWording{"parse", "flush"},
            [&parsed](const std::uint8_t* data, int size, int duration, bool during_flush) {
                parsed.frames.push_back({std::vector<std::uint8_t>(data, data + size), duration, during_flush});
            },
            piece_size, delimiting);
    } catch (const std::runtime_error&) {
        parsed.failed = true;
    }
    return parsed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    orvane::fuzz::silence_ffmpeg();
    if (size < 2) return 0;
    // Small pieces make the parser stop inside frames and sync words; 0 offers each segment at once.
    const std::size_t piece_size = data[0] == 0 ? kDefaultParserPieceSize : data[0] * 61u;
    const std::span<const std::uint8_t> stream(data + 2, size - 2);
    const std::size_t cut = stream.size() * data[1] / 256;
    const std::vector<std::span<const std::uint8_t>> parts =
        cut == 0 ? std::vector{stream} : std::vector{stream.first(cut), stream.subspan(cut)};
    const StreamSegments segments{parts.size(), [&parts](std::size_t index) { return parts[index]; }};

    const Parsed direct = parse(segments, piece_size, FrameDelimiting::RegularFramesDirectly);
    const Parsed reference = parse(segments, piece_size, FrameDelimiting::ParserOnly);
    ORVANE_FUZZ_CHECK(direct == reference);
    return 0;
}
