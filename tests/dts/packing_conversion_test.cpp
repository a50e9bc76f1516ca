#include <gtest/gtest.h>

#include <stdexcept>

#include "dts/packing_conversion.hpp"
#include "support/analysis_of.hpp"

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

}  // namespace
}  // namespace orvane
