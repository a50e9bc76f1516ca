#include <gtest/gtest.h>

#include "dts/dts_stream_summary.hpp"
#include "support/carriage.hpp"
#include "support/dts_clip.hpp"
#include "support/synthetic_frames.hpp"

namespace orvane {
namespace {

using test::Bytes;

TEST(DtsStreamSummary, DurationIsRoundedToTheMillisecondPastAnyHour) {
    EXPECT_EQ(format_duration(0, 44100), "0:00.000");
    EXPECT_EQ(format_duration(173 * 512, 44100), "0:02.009");
    EXPECT_EQ(format_duration(22, 44100), "0:00.000");   // 0.499 ms
    EXPECT_EQ(format_duration(23, 44100), "0:00.001");   // 0.522 ms
    EXPECT_EQ(format_duration(48000 * 59 + 47999, 48000), "1:00.000");
    EXPECT_EQ(format_duration(std::uint64_t{48000} * 3725, 48000), "62:05.000");
    EXPECT_EQ(format_duration(1000, 0), "0:00.000");
}

TEST(DtsStreamSummary, FramesAreCountedPastJunkAndNotTheCutLastOne) {
    const test::DtsClip clip = test::encode_dts_cd_clip(4);
    for (const DtsPacking packing : {DtsPacking::Be16, DtsPacking::Le16, DtsPacking::Be14, DtsPacking::Le14}) {
        SCOPED_TRACE(packing_name(packing));
        Bytes stream;
        for (std::size_t k = 0; k < clip.frames.size(); ++k) {
            test::append(stream, test::carry_frame(clip.frames[k], packing));
            if (k == 1) stream.insert(stream.end(), 40, 0x5A);  // junk between the second and third frame
        }
        EXPECT_EQ(count_dts_frames(stream, packing), 4u);
        stream.resize(stream.size() - 100);
        EXPECT_EQ(count_dts_frames(stream, packing), 3u);
        EXPECT_EQ(count_dts_frames(Bytes(5000, 0), packing), 0u);
    }
}

}  // namespace
}  // namespace orvane
