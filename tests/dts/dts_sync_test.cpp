#include <gtest/gtest.h>

#include <vector>

#include "dts/dts_sync.hpp"

namespace orvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::pair<DtsPacking, std::uint64_t> search(const Bytes& bytes, std::uint64_t limit = kInputSyncScanLimit) {
    return find_dts_sync(bytes.data(), bytes.size(), limit);
}

TEST(FindDtsSync, RecognisesEachPackingAtOffsetZero) {
    EXPECT_EQ(search({0x7F, 0xFE, 0x80, 0x01, 0, 0}), std::make_pair(DtsPacking::Be16, std::uint64_t{0}));
    EXPECT_EQ(search({0xFE, 0x7F, 0x01, 0x80, 0, 0}), std::make_pair(DtsPacking::Le16, std::uint64_t{0}));
    EXPECT_EQ(search({0x1F, 0xFF, 0xE8, 0x00, 0x07, 0xF0}), std::make_pair(DtsPacking::Be14, std::uint64_t{0}));
    EXPECT_EQ(search({0xFF, 0x1F, 0x00, 0xE8, 0xF0, 0x07}), std::make_pair(DtsPacking::Le14, std::uint64_t{0}));
}

TEST(FindDtsSync, FourteenBitPatternsCheckTheThirdWordsHighByte) {
    EXPECT_EQ(search({0x1F, 0xFF, 0xE8, 0x00, 0x10, 0xF0}).first, DtsPacking::Unknown);
    EXPECT_EQ(search({0xFF, 0x1F, 0x00, 0xE8, 0xF0, 0x17}).first, DtsPacking::Unknown);
}

TEST(FindDtsSync, NeedsSixBytesEvenForSixteenBitPatterns) {
    EXPECT_EQ(search({0x7F, 0xFE, 0x80, 0x01}), std::make_pair(DtsPacking::Unknown, std::uint64_t{0}));
    EXPECT_EQ(search({0x7F, 0xFE, 0x80, 0x01, 0x00}).first, DtsPacking::Unknown);
    EXPECT_EQ(search({}).first, DtsPacking::Unknown);
}

TEST(FindDtsSync, FindsTheEarliestOffsetAtAnyAlignment) {
    Bytes bytes(3000, 0);
    bytes.insert(bytes.end(), {0x7F, 0xFE, 0x80, 0x01, 0xFC, 0x3C});
    EXPECT_EQ(search(bytes), std::make_pair(DtsPacking::Be16, std::uint64_t{3000}));

    Bytes odd = {0x00, 0xFE, 0x7F, 0x01, 0x80, 0x00, 0x00, 0x7F, 0xFE, 0x80, 0x01, 0, 0};
    EXPECT_EQ(search(odd), std::make_pair(DtsPacking::Le16, std::uint64_t{1}));
}

TEST(FindDtsSync, StopsAtTheScanLimit) {
    const Bytes sync = {0x7F, 0xFE, 0x80, 0x01, 0x00, 0x00};
    Bytes last_found(1048570, 0);
    last_found.insert(last_found.end(), sync.begin(), sync.end());
    last_found.resize(last_found.size() + 100, 0);
    EXPECT_EQ(search(last_found), std::make_pair(DtsPacking::Be16, std::uint64_t{1048570}));

    Bytes too_late(1048571, 0);
    too_late.insert(too_late.end(), sync.begin(), sync.end());
    EXPECT_EQ(search(too_late).first, DtsPacking::Unknown);

    Bytes frame_window(58, 0);
    frame_window.insert(frame_window.end(), sync.begin(), sync.end());
    EXPECT_EQ(search(frame_window, kFrameSyncScanLimit).second, 58u);
    frame_window.insert(frame_window.begin(), 0);
    EXPECT_EQ(search(frame_window, kFrameSyncScanLimit).first, DtsPacking::Unknown);
}

TEST(PackingName, NamesEveryPackingAndUnknownValues) {
    EXPECT_STREQ(packing_name(DtsPacking::Be16), "16-bit big-endian");
    EXPECT_STREQ(packing_name(DtsPacking::Le16), "16-bit little-endian");
    EXPECT_STREQ(packing_name(DtsPacking::Be14), "14-bit big-endian");
    EXPECT_STREQ(packing_name(DtsPacking::Le14), "14-bit little-endian");
    EXPECT_STREQ(packing_name(DtsPacking::Unknown), "unknown");
    EXPECT_STREQ(packing_name(static_cast<DtsPacking>(7)), "unknown");
}

}  // namespace
}  // namespace orvane
