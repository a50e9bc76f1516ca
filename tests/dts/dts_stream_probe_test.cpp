#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "ffmpeg/ffmpeg_error.hpp"
#include "dts/dts_stream_probe.hpp"
#include "support/carriage.hpp"
#include "support/dts_clip.hpp"

extern "C" {
#include <libavutil/error.h>
}

namespace orvane {
namespace {

using test::Bytes;

DtsPacket packet_of(const Bytes& bytes) { return make_dts_packet(bytes, 0, {}); }

std::string probe_error(const Bytes& bytes) {
    DtsStreamParams params;
    try {
        probe_dts_stream(packet_of(bytes), params);
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "";
}

TEST(ProbeDtsStream, FirstFrameGivesRateLayoutAndLength) {
    const test::DtsClip clip = test::encode_dts_clip({.sample_rate = 48000, .channels = 6, .frames = 2});
    for (const DtsPacking packing : {DtsPacking::Be16, DtsPacking::Le14}) {
        SCOPED_TRACE(packing_name(packing));
        DtsStreamParams params;
        probe_dts_stream(packet_of(test::carry_frame(clip.frames[0], packing)), params);
        EXPECT_EQ(params.sample_rate, 48000);
        EXPECT_EQ(params.channels, 6);
        EXPECT_EQ(params.channel_layout.nb_channels, 6);
        AVChannelLayout five_one = AV_CHANNEL_LAYOUT_5POINT1;
        EXPECT_EQ(av_channel_layout_compare(&params.channel_layout, &five_one), 0);
        EXPECT_EQ(params.samples_per_frame, 512);
        EXPECT_EQ(params.profile, "DTS");
    }

    const test::DtsClip cd = test::encode_dts_cd_clip(1);
    DtsStreamParams params;
    probe_dts_stream(packet_of(test::carry_frame(cd.frames[0], DtsPacking::Be14)), params);
    EXPECT_EQ(params.sample_rate, 44100);
    EXPECT_EQ(params.channels, 6);
}

TEST(ProbeDtsStream, UndecodableFirstPacketIsReportedWithFFmpegText) {
    const test::DtsClip clip = test::encode_dts_clip({.sample_rate = 48000, .channels = 2, .frames = 1});
    const Bytes& frame = clip.frames[0];
    const Bytes cut(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(frame.size() / 2));
    EXPECT_EQ(probe_error(cut), "DTS probe packet rejected: " + ffmpeg_error_text(AVERROR_INVALIDDATA));
    EXPECT_EQ(probe_error(Bytes(100, 0x00)), "DTS probe packet rejected: " + ffmpeg_error_text(AVERROR_INVALIDDATA));
}

}  // namespace
}  // namespace orvane
