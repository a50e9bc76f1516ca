#include "dts/dts_parser.hpp"

#include <algorithm>
#include <climits>
#include <stdexcept>
#include <vector>

#include "dts/dts_frame_delimiter.hpp"
#include "dts/dts_frame_walk.hpp"
#include "dts/dts_sync.hpp"
#include "ffmpeg/ffmpeg_handles.hpp"
#include "platform/interruption.hpp"

namespace orvane {
namespace {

constexpr std::size_t kPaddedTailSize = 4096;

// The parser and what goes with it through one feeding. `timing` reads the header of each frame
// delimited directly exactly as the parser reads the frames it returns, on the same codec context.
struct Feed {
    AVCodecParserContext* parser;
    AVCodecParserContext* timing;
    AVCodecContext* context;
    const ParserFeedWording& wording;
    const ParserFrameAction& on_frame;
};

struct FedPiece {
    std::size_t consumed = 0;
    bool progressing = true;  // false when the parser made no progress and returned nothing
    bool at_frame_start = false;  // stopped where the parser ended a frame, holding nothing more
};

// Offers a piece call by call. With `stop_at_frame_start`, stops right after a call that ended a frame
// at the point where it stopped reading: the parser then holds no bytes and waits for the next sync word.
FedPiece feed_piece(const Feed& feed, const std::uint8_t* data, int size, bool stop_at_frame_start) {
    FedPiece fed;
    while (fed.consumed < static_cast<std::size_t>(size)) {
        check_interruption();
        std::uint8_t* out = nullptr;
        int out_size = 0;
        const int remaining = size - static_cast<int>(fed.consumed);
        const int consumed = av_parser_parse2(feed.parser, feed.context, &out, &out_size, data + fed.consumed,
                                              remaining, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        if (consumed < 0) throw std::runtime_error(feed.wording.parse_error);
        if (out_size > 0 && out != nullptr) feed.on_frame(out, out_size, feed.parser->duration, false);
        if (consumed == 0 && out_size == 0) {
            fed.progressing = false;
            return fed;
        }
        fed.consumed += static_cast<std::size_t>(consumed);
        // A consumed count of 0 may hide a sync word that began in earlier input: not a clean start.
        if (stop_at_frame_start && out_size > 0 && consumed > 0) {
            fed.at_frame_start = true;
            return fed;
        }
    }
    return fed;
}

// Frames are delimited directly only once the parser has read a header (the profile is then known),
// so that both read every later header the same way.
bool delimiting_directly(const Feed& feed) {
    return feed.timing != nullptr && feed.context->profile != FF_PROFILE_UNKNOWN && feed.context->sample_rate > 0;
}

// Hands on a frame delimited without the parser, its duration read by the timing parser as the parser
// would read it.
void hand_over(const Feed& feed, std::span<const std::uint8_t> frame, bool as_flush) {
    std::uint8_t* out = nullptr;
    int out_size = 0;
    if (av_parser_parse2(feed.timing, feed.context, &out, &out_size, frame.data(), static_cast<int>(frame.size()),
                         AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0) < 0) {
        throw std::runtime_error(as_flush ? feed.wording.flush_error : feed.wording.parse_error);
    }
    feed.on_frame(frame.data(), static_cast<int>(frame.size()), feed.timing->duration, as_flush);
}

// Delimits the regular frames from `offset` on, while the parser waits at that frame start; returns
// where the first frame it cannot delimit begins.
std::size_t delimit_regular_frames(const Feed& feed, std::span<const std::uint8_t> body, std::size_t offset) {
    while (offset < body.size()) {
        const std::size_t size = regular_dts_frame_size(body.subspan(offset));
        if (size == 0) break;
        check_interruption();
        hand_over(feed, body.subspan(offset, size), false);
        offset += size;
    }
    return offset;
}

// Hands over the rest of the stream as its last frame, as the parser's flush would, when the parser waits
// at a frame start behind which no other begins: it would otherwise hold all of it (hours of a
// carrier's silence) until the flush. Returns false, doing nothing, in every other case.
bool release_last_frame(const Feed& feed, std::span<const std::uint8_t> rest) {
    if (rest.size() > static_cast<std::size_t>(INT_MAX) || !is_last_dts_frame(rest)) return false;
    hand_over(feed, rest, true);
    return true;
}

// Offers one stretch of the stream. The parser keeps an unfinished frame in its own buffer, so the
// stretch may be released afterwards; its last bytes are offered from `tail`, which must stay until the
// flush is over. Regular frames are delimited directly in the body only: the parser wants readable
// padding behind what it is given, and the tail's frames are few.
void offer_to_dts_parser(const Feed& feed, std::span<const std::uint8_t> stream, bool last_segment,
                         std::size_t piece_size, std::vector<std::uint8_t>& tail) {
    piece_size = std::clamp<std::size_t>(piece_size, 1, static_cast<std::size_t>(INT_MAX));
    const std::size_t tail_size = std::min(stream.size(), kPaddedTailSize);
    const std::span<const std::uint8_t> body = stream.first(stream.size() - tail_size);

    FedPiece fed;
    for (std::size_t offset = 0; fed.progressing && offset < body.size(); offset += fed.consumed) {
        if (fed.at_frame_start && delimiting_directly(feed)) {
            offset = delimit_regular_frames(feed, body, offset);
            if (last_segment && release_last_frame(feed, stream.subspan(offset))) return;
        }
        const std::size_t piece = std::min(piece_size, body.size() - offset);
        if (piece == 0) break;
        fed = feed_piece(feed, body.data() + offset, static_cast<int>(piece), feed.timing != nullptr);
    }
    // The caller keeps the tail until the flush is over, in case the parser still refers to its last input.
    tail.clear();
    if (fed.progressing && tail_size > 0) {
        tail.assign(tail_size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        std::copy(stream.end() - static_cast<std::ptrdiff_t>(tail_size), stream.end(), tail.begin());
        for (std::size_t offset = 0; fed.progressing && offset < tail_size; offset += fed.consumed) {
            const std::size_t piece = std::min(piece_size, tail_size - offset);
            fed = feed_piece(feed, tail.data() + offset, static_cast<int>(piece), false);
        }
    }
}

// The end-of-input flush.
void flush_dts_parser(const Feed& feed) {
    for (;;) {
        check_interruption();
        std::uint8_t* out = nullptr;
        int out_size = 0;
        const int result = av_parser_parse2(feed.parser, feed.context, &out, &out_size, nullptr, 0, AV_NOPTS_VALUE,
                                            AV_NOPTS_VALUE, 0);
        if (result < 0) throw std::runtime_error(feed.wording.flush_error);
        if (out_size <= 0) break;
        if (out != nullptr) feed.on_frame(out, out_size, feed.parser->duration, true);
    }
}

}  // namespace

void feed_dts_parser_segments(AVCodecParserContext* parser, AVCodecContext* context, const StreamSegments& segments,
                              const ParserFeedWording& wording, const ParserFrameAction& on_frame,
                              std::size_t piece_size, FrameDelimiting delimiting) {
    ParserHandle timing;
    if (delimiting == FrameDelimiting::RegularFramesDirectly) {
        timing.reset(av_parser_init(AV_CODEC_ID_DTS));
        if (!timing) throw std::runtime_error("unable to initialise DTS parser");
        // Given one whole frame per call, the parser only reads its header.
        timing->flags |= PARSER_FLAG_COMPLETE_FRAMES;
    }
    const Feed feed{parser, timing.get(), context, wording, on_frame};
    std::vector<std::uint8_t> tail;
    for (std::size_t index = 0; index < segments.count; ++index) {
        offer_to_dts_parser(feed, segments.load(index), index + 1 == segments.count, piece_size, tail);
    }
    flush_dts_parser(feed);
}

std::span<const std::uint8_t> without_filler(std::span<const std::uint8_t> frame, DtsPacking packing) {
    const std::size_t extent = dts_frame_extent(frame, packing);
    if (extent == 0 || extent >= frame.size()) return frame;
    // A second sync word tells a merged frame from one followed by filler.
    const std::span<const std::uint8_t> after = frame.subspan(1);
    if (find_dts_sync(after.data(), after.size(), after.size()).first != DtsPacking::Unknown) return frame;
    return frame.first(extent);
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
        [&](const std::uint8_t* data, int size, int duration, bool during_flush) {
            const std::span<const std::uint8_t> frame(data, static_cast<std::size_t>(size));
            const std::uint64_t start = position;
            position += frame.size();
            // The parser ends a frame only where the next one begins, so a cut one comes last, at the flush.
            if (during_flush && on_cut_last_frame && is_cut_dts_frame(frame, packing)) {
                on_cut_last_frame(frame.size());
                return;
            }
            on_frame(without_filler(frame, packing), duration, start);
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
