#include <gtest/gtest.h>

#include "common/byte_order.hpp"
#include "dts/dts_frame_walk.hpp"
#include "support/carriage.hpp"
#include "support/synthetic_frames.hpp"

namespace orvane {
namespace {

using test::append;
using test::synthetic_core_frame;
using test::synthetic_extension_block;
using Bytes = std::vector<std::uint8_t>;

Bytes kept_bytes(const Bytes& stream, const DtsFrameWalk& walk) {
    Bytes out;
    for (const ByteRange& range : walk.kept) {
        out.insert(out.end(), stream.begin() + range.offset, stream.begin() + range.offset + range.size);
    }
    return out;
}

TEST(DtsFrameWalk, ContiguousFramesWithTrailingPaddingDropOnlyThePadding) {
    Bytes frames;
    for (int i = 0; i < 3; ++i) append(frames, synthetic_core_frame(1024));
    Bytes stream = frames;
    stream.resize(stream.size() + 5880, 0);
    const auto walk = walk_dts_frames(stream, false);
    EXPECT_EQ(walk.core_frames, 3u);
    EXPECT_EQ(walk.dropped_bytes, 5880u);
    EXPECT_EQ(kept_bytes(stream, walk), frames);
}

TEST(DtsFrameWalk, ExactlyFilledStreamDropsNothing) {
    Bytes stream;
    for (int i = 0; i < 4; ++i) append(stream, synthetic_core_frame(512));
    const auto walk = walk_dts_frames(stream, false);
    EXPECT_EQ(walk.core_frames, 4u);
    EXPECT_EQ(walk.dropped_bytes, 0u);
    EXPECT_EQ(walk_dts_frames(synthetic_core_frame(512), false).core_frames, 1u);  // a frame alone, as cut out
}

TEST(DtsFrameWalk, CutShortLastFrameCountsAsPadding) {
    Bytes stream;
    append(stream, synthetic_core_frame(1000));
    append(stream, synthetic_core_frame(1000));
    const Bytes partial = synthetic_core_frame(1000);
    stream.insert(stream.end(), partial.begin(), partial.begin() + 400);
    const auto walk = walk_dts_frames(stream, false);
    EXPECT_EQ(walk.core_frames, 2u);
    EXPECT_EQ(walk.dropped_bytes, 400u);
}

TEST(DtsFrameWalk, FramesAfterJunkAreKeptNotThrownAway) {
    Bytes expected;
    Bytes stream;
    append(stream, synthetic_core_frame(800, 0x11));
    append(expected, synthetic_core_frame(800, 0x11));
    // A burst preamble and junk, ending in half a sync word.
    const Bytes junk = {0xF8, 0x72, 0x4E, 0x1F, 0x00, 0x0B, 0x00, 0x00, 0xAA, 0xBB, 0xCC, 0x7F, 0xFE};
    append(stream, junk);
    append(stream, synthetic_core_frame(800, 0x22));
    append(expected, synthetic_core_frame(800, 0x22));
    stream.push_back(0x00);  // an odd gap: the next frame starts at an odd offset
    append(stream, synthetic_core_frame(800, 0x33));
    append(expected, synthetic_core_frame(800, 0x33));
    stream.resize(stream.size() + 100, 0);

    const auto walk = walk_dts_frames(stream, false);
    EXPECT_EQ(walk.core_frames, 3u);
    EXPECT_EQ(walk.dropped_bytes, junk.size() + 1 + 100);
    EXPECT_EQ(kept_bytes(stream, walk), expected);
}

TEST(DtsFrameWalk, ExtensionSubstreamBlocksAreKeptWithTheirCoreFrames) {
    Bytes stream;
    for (int i = 0; i < 2; ++i) {
        append(stream, synthetic_core_frame(1006));
        append(stream, synthetic_extension_block(300, i == 1));
    }
    const Bytes whole = stream;
    stream.resize(stream.size() + 64, 0);
    const auto walk = walk_dts_frames(stream, false);
    EXPECT_EQ(walk.core_frames, 2u);
    EXPECT_EQ(walk.dropped_bytes, 64u);
    EXPECT_EQ(kept_bytes(stream, walk), whole);
}

TEST(DtsFrameWalk, ImplausiblyShortSyncInJunkIsNotAFrame) {
    Bytes stream;
    append(stream, synthetic_core_frame(800));
    append(stream, {0x00, 0x00});
    append(stream, synthetic_core_frame(12));  // a sync word inside junk that would claim 12 bytes
    stream.resize(stream.size() + 50, 0);
    const auto walk = walk_dts_frames(stream, false);
    EXPECT_EQ(walk.core_frames, 1u);
    EXPECT_EQ(walk.dropped_bytes, stream.size() - 800);
}

TEST(DtsFrameWalk, StreamWithoutCompleteFirstFrameIsKeptWhole) {
    Bytes oversized = synthetic_core_frame(4000);
    oversized.resize(1000);
    for (const Bytes& stream : {oversized, Bytes{0x7F, 0xFE, 0x80, 0x01, 0, 0, 0, 0, 0}}) {
        const auto walk = walk_dts_frames(stream, false);
        EXPECT_EQ(walk.core_frames, 0u);
        EXPECT_EQ(walk.dropped_bytes, 0u);
        ASSERT_EQ(walk.kept.size(), 1u);
        EXPECT_EQ(walk.kept[0].size, stream.size());
    }
}

TEST(DtsFrameWalk, LittleEndianWordsWalkLikeTheirBigEndianForm) {
    Bytes big;
    append(big, synthetic_core_frame(700));
    append(big, {0x01, 0x02, 0x03});
    append(big, synthetic_core_frame(701));
    big.resize(big.size() + 33, 0);
    Bytes little = big;
    swap_byte_pairs_in_place(little.data(), little.size());

    const auto from_big = walk_dts_frames(big, false);
    const auto from_little = walk_dts_frames(little, true);
    EXPECT_EQ(from_little.core_frames, 2u);
    EXPECT_EQ(from_little.dropped_bytes, from_big.dropped_bytes);
    ASSERT_EQ(from_little.kept.size(), from_big.kept.size());
    for (std::size_t i = 0; i < from_big.kept.size(); ++i) {
        EXPECT_EQ(from_little.kept[i].offset, from_big.kept[i].offset);
        EXPECT_EQ(from_little.kept[i].size, from_big.kept[i].size);
    }
}

TEST(DtsFrameExtent, TheDeclaredFrameWithItsExtensionBlocksInEveryCarriage) {
    Bytes frame = synthetic_core_frame(1006);
    append(frame, synthetic_extension_block(300));
    append(frame, synthetic_extension_block(200, true));
    Bytes padded = frame;
    append(padded, {0x72, 0xF8, 0x1F, 0x4E, 0x00, 0x00});
    padded.resize(padded.size() + 500, 0);
    EXPECT_EQ(dts_frame_extent(padded, DtsPacking::Be16), frame.size());
    EXPECT_EQ(dts_frame_extent(test::swap_byte_pairs(padded), DtsPacking::Le16), frame.size());
    EXPECT_EQ(dts_frame_extent(frame, DtsPacking::Be16), frame.size());  // the last block ends with the data
    // An extension block cut by the end stays out, like a cut core frame.
    EXPECT_EQ(dts_frame_extent(Bytes(frame.begin(), frame.end() - 1), DtsPacking::Be16), 1306u);
    EXPECT_EQ(dts_frame_extent(Bytes(frame.begin(), frame.begin() + 1005), DtsPacking::Be16), 0u);
    EXPECT_TRUE(is_cut_dts_frame(Bytes(frame.begin(), frame.begin() + 1005), DtsPacking::Be16));
    // A cut extension block leaves the core frame whole.
    EXPECT_FALSE(is_cut_dts_frame(Bytes(frame.begin(), frame.end() - 1), DtsPacking::Be16));

    // 14-bit words: the whole words holding the frame's bits (1792 bytes fill exactly 2048).
    for (const std::size_t size : {std::size_t{1792}, std::size_t{1003}}) {
        for (const DtsPacking packing : {DtsPacking::Be14, DtsPacking::Le14}) {
            Bytes carried = test::carry_frame(synthetic_core_frame(size), packing);
            const std::size_t words = carried.size();
            EXPECT_EQ(words, (size * 8 + 13) / 14 * 2);
            carried.resize(words + 40, 0);
            EXPECT_EQ(dts_frame_extent(carried, packing), words) << size;
            const Bytes cut(carried.begin(), carried.begin() + words - 2);
            EXPECT_EQ(dts_frame_extent(cut, packing), 0u) << size;
            EXPECT_TRUE(is_cut_dts_frame(cut, packing)) << size;
            EXPECT_FALSE(is_cut_dts_frame(carried, packing)) << size;
            EXPECT_EQ(dts_frame_extent(carried, DtsPacking::Be16), 0u);
        }
    }
    // No frame: another sync word, a size below any valid frame, too few bytes, no packing.
    EXPECT_EQ(dts_frame_extent(synthetic_extension_block(300), DtsPacking::Be16), 0u);
    EXPECT_EQ(dts_frame_extent(synthetic_core_frame(95), DtsPacking::Be16), 0u);
    EXPECT_EQ(dts_frame_extent(Bytes{0x7F, 0xFE, 0x80, 0x01}, DtsPacking::Be16), 0u);
    EXPECT_EQ(dts_frame_extent(Bytes{0x1F, 0xFF, 0xE8, 0x00, 0x07, 0xF0}, DtsPacking::Be14), 0u);
    EXPECT_EQ(dts_frame_extent(padded, DtsPacking::Unknown), 0u);
    for (const Bytes& no_frame :
         {synthetic_extension_block(300), synthetic_core_frame(95), Bytes{0x7F, 0xFE, 0x80, 0x01}}) {
        EXPECT_FALSE(is_cut_dts_frame(no_frame, DtsPacking::Be16));
    }
}

}  // namespace
}  // namespace orvane
