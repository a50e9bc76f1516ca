#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "dts/fourteen_bit_extraction.hpp"
#include "support/carriage.hpp"
#include "support/dts_clip.hpp"
#include "support/analysis_of.hpp"

namespace orvane {
namespace {

using test::Bytes;

const test::DtsClip& cd_clip() { return test::cached_dts_cd_clip(11); }

using test::analysis_of;

// `lead` zero bytes, then `frames` whole carried frames, then `extra` bytes of the next one.
InputAnalysis carried(DtsPacking packing, std::size_t lead, std::size_t frames, std::size_t extra = 0) {
    return analysis_of(test::carried_payload(cd_clip(), packing, lead, frames, extra), packing, lead);
}

std::string error_of(const InputAnalysis& analysis, std::uint64_t* frames = nullptr,
                     std::uint64_t* consumed = nullptr) {
    try {
        extract_14bit_frames(analysis, frames, consumed);
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "";
}

TEST(Extract14BitFrames, KeepsTheCarriedFramesByteForByte) {
    for (const DtsPacking packing : {DtsPacking::Le14, DtsPacking::Be14}) {
        SCOPED_TRACE(packing_name(packing));
        const InputAnalysis analysis = carried(packing, 3000, 10);
        std::uint64_t frames = 0;
        std::uint64_t consumed = 0;
        const Bytes result = extract_14bit_frames(analysis, &frames, &consumed);
        EXPECT_EQ(frames, 10u);
        EXPECT_EQ(consumed, 10u * 2048u);
        EXPECT_EQ(result, Bytes(analysis.payload.begin() + 3000, analysis.payload.end()));
        // The carried form is never repacked: the first frame starts with the 14-bit sync words.
        const Bytes expected_start = packing == DtsPacking::Le14 ? Bytes{0xFF, 0x1F, 0x00, 0xE8}
                                                                 : Bytes{0x1F, 0xFF, 0xE8, 0x00};
        EXPECT_EQ(Bytes(result.begin(), result.begin() + 4), expected_start);

        // Without places for the counts the result is the same.
        EXPECT_EQ(extract_14bit_frames(analysis, nullptr, nullptr), result);
    }
}

TEST(Extract14BitFrames, CutLastFrameIsLeftOutAndItsSizeTold) {
    // FFmpeg's flush releases the half frame after the last sync word: whole frames only.
    for (const std::size_t piece : {kDefaultParserPieceSize, std::size_t{1000}}) {
        const InputAnalysis analysis = carried(DtsPacking::Le14, 3000, 10, 1024);
        const FourteenBitFrames frames = delimit_14bit_frames(analysis, piece);
        EXPECT_EQ(frames.frame_count, 10u);
        EXPECT_EQ(frames.cut_last_frame, 1024u);
        EXPECT_TRUE(std::equal(frames.bytes.begin(), frames.bytes.end(), analysis.payload.begin() + 3000,
                               analysis.payload.end() - 1024));
    }
    // One whole frame and a cut one are too few.
    EXPECT_EQ(error_of(carried(DtsPacking::Be14, 0, 1, 1500)),
              "implausibly short 14-bit DTS extraction (fewer than 2 frames)");
}

TEST(Delimit14BitFrames, ViewsThePayloadWhateverThePieceSize) {
    const InputAnalysis analysis = carried(DtsPacking::Le14, 6, 10);
    const auto stream = dts_stream(analysis);
    for (const std::size_t piece : {kDefaultParserPieceSize, std::size_t{1}, std::size_t{1000}}) {
        SCOPED_TRACE(piece);
        const FourteenBitFrames frames = delimit_14bit_frames(analysis, piece);
        EXPECT_EQ(frames.frame_count, 10u);
        EXPECT_TRUE(frames.copy.empty());
        EXPECT_EQ(frames.bytes.data(), stream.data());
        EXPECT_EQ(frames.bytes.size(), stream.size());
    }
}

TEST(Extract14BitFrames, RefusesWhatIsNotAPlausible14BitStream) {
    std::uint64_t frames = 77;
    std::uint64_t consumed = 88;
    EXPECT_EQ(error_of(carried(DtsPacking::Le14, 0, 1), &frames, &consumed),
              "implausibly short 14-bit DTS extraction (fewer than 2 frames)");
    // A failure writes neither count.
    EXPECT_EQ(frames, 77u);
    EXPECT_EQ(consumed, 88u);

    // Little-endian frames in an analysis that says big-endian: the parser takes them, the sync test not.
    InputAnalysis wrong_order = carried(DtsPacking::Le14, 0, 3);
    wrong_order.packing = DtsPacking::Be14;
    EXPECT_EQ(error_of(wrong_order), "DTS parser returned a packet that does not begin with the expected 14-bit sync word");

    // 16-bit frames in a 14-bit analysis.
    InputAnalysis sixteen = carried(DtsPacking::Be16, 0, 3);
    sixteen.packing = DtsPacking::Be14;
    EXPECT_EQ(error_of(sixteen), "DTS parser returned a packet that does not begin with the expected 14-bit sync word");

    for (const DtsPacking packing : {DtsPacking::Be16, DtsPacking::Le16, DtsPacking::Unknown}) {
        InputAnalysis other = carried(DtsPacking::Le14, 0, 3);
        other.packing = packing;
        EXPECT_EQ(error_of(other), "internal error: 14-bit extractor used for non-14-bit DTS");
    }
    const InputAnalysis at_end = carried(DtsPacking::Le14, 0, 2);
    InputAnalysis past = analysis_of(at_end.payload, DtsPacking::Le14, at_end.payload.size());
    EXPECT_EQ(error_of(past), "invalid DTS sync offset");
}

}  // namespace
}  // namespace orvane
