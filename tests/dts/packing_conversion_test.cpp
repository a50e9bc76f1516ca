#include <gtest/gtest.h>

#include <stdexcept>

#include "dts/packing_conversion.hpp"
#include "support/analysis_of.hpp"
#include "support/carriage.hpp"
#include "support/synthetic_frames.hpp"

namespace orvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

using test::analysis_of;

std::string error_of(const InputAnalysis& analysis) {
    try {
        normalise_dts_payload(analysis, nullptr, nullptr);
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "";
}

TEST(NormaliseDtsPayload, LittleEndianWordsAreSwappedFromTheSyncWord) {
    std::uint64_t frames = 7;
    std::uint64_t consumed = 9;
    const auto out = normalise_dts_payload(analysis_of({0xFE, 0x7F, 0x01, 0x80, 0xE8, 0xFC}, DtsPacking::Le16, 0),
                                           &frames, &consumed);
    EXPECT_EQ(out, (Bytes{0x7F, 0xFE, 0x80, 0x01, 0xFC, 0xE8}));
    EXPECT_EQ(frames, 7u);
    EXPECT_EQ(consumed, 9u);

    const auto odd = normalise_dts_payload(
        analysis_of({0xAA, 0xFE, 0x7F, 0x01, 0x80, 0xE8, 0xFC, 0x42}, DtsPacking::Le16, 1), nullptr, nullptr);
    EXPECT_EQ(odd, (Bytes{0x7F, 0xFE, 0x80, 0x01, 0xFC, 0xE8, 0x42}));
}

TEST(NormaliseDtsPayload, BigEndianIsCopiedFromTheSyncWordIncludingPadding) {
    const Bytes payload = {1, 2, 3, 4, 5, 6, 7, 0x7F, 0xFE, 0x80, 0x01, 9, 9, 0, 0};
    const auto out = normalise_dts_payload(analysis_of(payload, DtsPacking::Be16, 7), nullptr, nullptr);
    EXPECT_EQ(out, Bytes(payload.begin() + 7, payload.end()));
}

TEST(NormaliseDtsPayload, RefusesBadOffsetAndPacking) {
    EXPECT_EQ(error_of(analysis_of({1, 2, 3}, DtsPacking::Be16, 3)), "invalid DTS sync offset");
    EXPECT_EQ(error_of(analysis_of({1, 2, 3}, DtsPacking::Unknown, 0)), "unsupported DTS packing");
    EXPECT_EQ(error_of(analysis_of({1, 2, 3}, static_cast<DtsPacking>(9), 0)), "unsupported DTS packing");
}

TEST(StandardDtsFrame, EveryCarriageGivesBackTheBigEndianFrame) {
    // 1792 bytes fill 1024 words exactly; 1003 leave padding bits in the last word, and an odd byte.
    for (const std::size_t size : {std::size_t{1792}, std::size_t{1003}}) {
        const Bytes frame = test::synthetic_core_frame(size, 0xA7);
        for (const DtsPacking packing : {DtsPacking::Be16, DtsPacking::Le16, DtsPacking::Be14, DtsPacking::Le14}) {
            SCOPED_TRACE(packing_name(packing));
            const Bytes carried = test::carry_frame(frame, packing);
            Bytes out(standard_dts_frame_size(carried, packing), 0xEE);
            write_standard_dts_frame(carried, packing, out);
            EXPECT_EQ(out, frame) << size;
        }
    }
    // 14-bit words that are not one frame's (a merged frame): every whole byte they carry.
    const Bytes words =
        test::carry_frame(Bytes{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0, 0x0F}, DtsPacking::Le14);
    ASSERT_EQ(words.size(), 12u);
    Bytes out(standard_dts_frame_size(words, DtsPacking::Le14));
    write_standard_dts_frame(words, DtsPacking::Le14, out);
    EXPECT_EQ(out, (Bytes{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0, 0x0F, 0x00}));
}

}  // namespace
}  // namespace orvane
