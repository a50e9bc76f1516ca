#include <gtest/gtest.h>

#include "input/dts_sync.hpp"

namespace orvane {
namespace {

TEST(FindDtsSync, NeedsSixBytes) {
    const std::uint8_t four[] = {0x7F, 0xFE, 0x80, 0x01};
    EXPECT_EQ(find_dts_sync(four, sizeof four, kInputSyncScanLimit).first, DtsPacking::Unknown);
}

}  // namespace
}  // namespace orvane
