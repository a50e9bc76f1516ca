#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <span>
#include <string>
#include <vector>

#include "dts/dts_frame_delimiter.hpp"
#include "dts/dts_parser.hpp"
#include "ffmpeg/ffmpeg_handles.hpp"
#include "support/carriage.hpp"
#include "support/dts_clip.hpp"
#include "support/synthetic_frames.hpp"

namespace orvane {
namespace {

using test::Bytes;

const test::DtsClip& clip() {
    static const test::DtsClip clip = test::encode_dts_clip({.sample_rate = 48000, .channels = 2, .frames = 24});
    return clip;
}

constexpr DtsPacking kPackings[] = {DtsPacking::Be16, DtsPacking::Le16, DtsPacking::Be14, DtsPacking::Le14};

TEST(RegularDtsFrameSize, EveryFrameWithTheNextSyncWordWhereTheParserLooksAndNoOther) {
    for (const DtsPacking packing : kPackings) {
        SCOPED_TRACE(packing_name(packing));
        const Bytes stream = test::carry_clip(clip(), packing);
        const std::size_t frame = test::carry_frame(clip().frames[0], packing).size();
        for (std::size_t k = 0; k + 1 < clip().frames.size(); ++k) {
            EXPECT_EQ(regular_dts_frame_size(std::span(stream).subspan(k * frame)), frame) << "frame " << k;
        }
        // The last frame has no sync word behind it; a frame start elsewhere is no frame start.
        EXPECT_EQ(regular_dts_frame_size(std::span(stream).last(frame)), 0u);
        EXPECT_EQ(regular_dts_frame_size(std::span(stream).subspan(2)), 0u);
        // Two bytes of filler: the parser would scan on to the sync word behind them.
        Bytes padded(stream.begin(), stream.begin() + frame);
        padded.resize(frame + 2, 0);
        padded.insert(padded.end(), stream.begin() + frame, stream.end());
        EXPECT_EQ(regular_dts_frame_size(padded), 0u);
    }
    // A DTS-HD extension substream behind a big-endian core frame belongs to it.
    Bytes hd = test::synthetic_core_frame(200);
    test::append(hd, test::synthetic_extension_block(64));
    test::append(hd, test::synthetic_core_frame(200));
    EXPECT_EQ(regular_dts_frame_size(hd), 264u);
}

struct Parsed {
    std::vector<Bytes> frames;
    std::vector<int> durations;
    std::vector<bool> flushed;
};

Parsed parse(const std::vector<Bytes>& parts, std::size_t piece_size, FrameDelimiting delimiting) {
    ParserHandle parser(av_parser_init(AV_CODEC_ID_DTS));
    CodecContextHandle context(avcodec_alloc_context3(avcodec_find_decoder(AV_CODEC_ID_DTS)));
    Parsed parsed;
    feed_dts_parser_segments(
        parser.get(), context.get(),
        StreamSegments{parts.size(), [&parts](std::size_t k) { return std::span<const std::uint8_t>(parts[k]); }},
        ParserFeedWording{"parse", "flush"},
        [&parsed](const std::uint8_t* data, int size, int duration, bool during_flush) {
            parsed.frames.emplace_back(data, data + size);
            parsed.durations.push_back(duration);
            parsed.flushed.push_back(during_flush);
        },
        piece_size, delimiting);
    return parsed;
}

// The frames delimited directly are the parser's own, also around every irregularity it must take over at.
TEST(RegularDtsFrameSize, FeedingGivesTheParsersFramesOnEveryCarriage) {
    for (const DtsPacking packing : kPackings) {
        const Bytes stream = test::carry_clip(clip(), packing);
        Bytes damaged = stream;
        damaged[stream.size() / 2] ^= 0xFF;
        // A sync word near a frame's end: inside the frame for 16-bit words, past its declared size in
        // 14-bit words, where the parser ends the frame early.
        const std::size_t frame = stream.size() / clip().frames.size();
        Bytes false_sync = stream;
        std::copy(stream.begin(), stream.begin() + 12, false_sync.begin() + 6 * frame - 16);
        // A sync word whose header bits are wrong is no frame start to the parser.
        Bytes bad_header = stream;
        bad_header[6 * frame + 4] = bad_header[6 * frame + 5] = 0;
        Bytes cut(stream.begin(), stream.end() - 300);
        Bytes padded(100, 0);
        padded.insert(padded.end(), stream.begin(), stream.end());
        padded.resize(padded.size() + 5000, 0);
        const std::size_t half = stream.size() / 2 + 3;
        const std::vector<std::pair<std::string, std::vector<Bytes>>> cases = {
            {"clean", {stream}},
            {"damaged", {damaged}},
            {"false sync", {false_sync}},
            {"bad header", {bad_header}},
            {"cut", {cut}},
            {"padded", {padded}},
            {"two tracks", {Bytes(stream.begin(), stream.begin() + half), Bytes(stream.begin() + half, stream.end())}},
            {"bursts", {test::spdif_bursts(clip(), packing == DtsPacking::Be16)}},
        };
        for (const auto& [name, parts] : cases) {
            for (const std::size_t piece : {kDefaultParserPieceSize, std::size_t{777}}) {
                SCOPED_TRACE(std::string(packing_name(packing)) + " " + name + " piece " + std::to_string(piece));
                const Parsed direct = parse(parts, piece, FrameDelimiting::RegularFramesDirectly);
                const Parsed reference = parse(parts, piece, FrameDelimiting::ParserOnly);
                EXPECT_EQ(direct.frames, reference.frames);
                EXPECT_EQ(direct.durations, reference.durations);
                EXPECT_EQ(direct.flushed, reference.flushed);
            }
        }
    }
}

// A carrier's long silence after its last frame is handed over without the parser holding it: with
// FFmpeg's allocations capped far below its size, the frames still come, the last one whole.
TEST(RegularDtsFrameSize, SilenceBehindTheLastFrameIsNeverHeldByTheParser) {
    for (const DtsPacking packing : kPackings) {
        SCOPED_TRACE(packing_name(packing));
        Bytes stream = test::carry_clip(clip(), packing);
        const std::size_t frame = stream.size() / clip().frames.size();
        stream.resize(stream.size() + (std::size_t{32} << 20), 0);
        av_max_alloc(std::size_t{4} << 20);
        const Parsed parsed = parse({stream}, kDefaultParserPieceSize, FrameDelimiting::RegularFramesDirectly);
        av_max_alloc(INT_MAX);
        ASSERT_EQ(parsed.frames.size(), clip().frames.size());
        EXPECT_EQ(parsed.frames.back().size(), stream.size() - frame * (clip().frames.size() - 1));
        EXPECT_EQ(without_filler(parsed.frames.back(), packing).size(), frame);
        EXPECT_TRUE(parsed.flushed.back());
    }
}

}  // namespace
}  // namespace orvane
