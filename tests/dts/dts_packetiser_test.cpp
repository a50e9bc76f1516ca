#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "dts/dts_packetiser.hpp"
#include "support/carriage.hpp"
#include "support/dts_clip.hpp"
#include "support/error_text.hpp"
#include "support/analysis_of.hpp"

namespace orvane {
namespace {

using test::Bytes;

const test::DtsClip& stereo_clip() {
    static const test::DtsClip clip = test::encode_dts_clip({.sample_rate = 48000, .channels = 2, .frames = 12});
    return clip;
}

using test::analysis_of;

// Leading bytes the parser must never see, then the carried clip, then `padding` zero bytes.
InputAnalysis carried_with_lead(DtsPacking packing, std::size_t lead, std::size_t padding = 0) {
    Bytes payload(lead, 0x00);
    const Bytes carried = test::carry_clip(stereo_clip(), packing);
    payload.insert(payload.end(), carried.begin(), carried.end());
    payload.resize(payload.size() + padding, 0x00);
    return analysis_of(std::move(payload), packing, lead);
}

TEST(PacketiseDts, EveryCarriageGivesOnePacketPerFrameExactlyAsCarried) {
    for (const DtsPacking packing : {DtsPacking::Be16, DtsPacking::Le16, DtsPacking::Be14, DtsPacking::Le14}) {
        SCOPED_TRACE(packing_name(packing));
        // The carrier padding behind the last frame goes into no packet.
        const InputAnalysis analysis = carried_with_lead(packing, 3000, 1000);
        const std::vector<DtsPacket> packets = packetise_dts(analysis);
        ASSERT_EQ(packets.size(), stereo_clip().frames.size());
        for (std::size_t k = 0; k < packets.size(); ++k) {
            const Bytes carried = test::carry_frame(stereo_clip().frames[k], packing);
            EXPECT_EQ(Bytes(packets[k].data.begin(), packets[k].data.end()), carried) << "frame " << k;
            EXPECT_EQ(packets[k].duration, 512) << "frame " << k;
        }

        // A last frame cut short by the end of the data goes into no packet; its size is told.
        const Bytes cut = test::carried_payload(stereo_clip(), packing, 0, 3, 500);
        std::size_t cut_size = 0;
        const std::vector<DtsPacket> cut_packets =
            packetise_dts(analysis_of(cut, packing, 0), kDefaultParserPieceSize, &cut_size);
        ASSERT_EQ(cut_packets.size(), 3u);
        EXPECT_EQ(cut_size, 500u);
        EXPECT_EQ(Bytes(cut_packets[2].data.begin(), cut_packets[2].data.end()),
                  test::carry_frame(stereo_clip().frames[2], packing));

        // One cut in the middle: the parser merges it with the frame behind, which keeps all its bytes.
        Bytes damaged = test::carried_payload(stereo_clip(), packing, 0, 2, 500);
        const Bytes next = test::carry_frame(stereo_clip().frames[3], packing);
        damaged.insert(damaged.end(), next.begin(), next.end());
        const std::vector<DtsPacket> merged = packetise_dts(analysis_of(damaged, packing, 0));
        ASSERT_EQ(merged.size(), 3u);
        EXPECT_EQ(merged[2].data.size(), 500 + next.size());
    }
}

TEST(PacketiseDts, FramesLyingInThePayloadAreViewedNotCopied) {
    const InputAnalysis analysis = carried_with_lead(DtsPacking::Be16, 7);
    const std::vector<DtsPacket> packets = packetise_dts(analysis);
    const auto stream = dts_stream(analysis);
    std::size_t offset = 0;
    std::size_t views = 0;
    for (const DtsPacket& packet : packets) {
        if (packet.is_view()) {
            ++views;
            EXPECT_EQ(packet.data.data(), stream.data() + offset);
        } else {
            // A copy owns its bytes, with readable zeroed padding behind them for FFmpeg.
            EXPECT_EQ(packet.data.data(), packet.copy.data());
            EXPECT_EQ(packet.copy.size(), packet.data.size() + AV_INPUT_BUFFER_PADDING_SIZE);
        }
        offset += packet.data.size();
    }
    // Only the frames near the end, fed from a padded copy, may be copies.
    EXPECT_GE(views, packets.size() - 3);
}

TEST(PacketiseDts, SmallParserPiecesGiveTheSamePackets) {
    // The pieces that let a stream of 2^31 bytes or more through, shrunk to a few bytes here.
    for (const DtsPacking packing : {DtsPacking::Be16, DtsPacking::Le14}) {
        SCOPED_TRACE(packing_name(packing));
        const InputAnalysis analysis = carried_with_lead(packing, 5);
        const std::vector<DtsPacket> whole = packetise_dts(analysis);
        for (const std::size_t piece : {std::size_t{1}, std::size_t{777}, std::size_t{4096}}) {
            const std::vector<DtsPacket> pieces = packetise_dts(analysis, piece);
            ASSERT_EQ(pieces.size(), whole.size()) << "piece " << piece;
            for (std::size_t k = 0; k < whole.size(); ++k) {
                EXPECT_TRUE(std::equal(pieces[k].data.begin(), pieces[k].data.end(), whole[k].data.begin(),
                                       whole[k].data.end()))
                    << "piece " << piece << ", frame " << k;
                EXPECT_EQ(pieces[k].duration, whole[k].duration);
            }
        }
    }
}

TEST(PacketiseDts, CopiedPacketsStayValidWhenMoved) {
    const Bytes stream = stereo_clip().frames[0];
    const Bytes elsewhere(stream);
    std::vector<DtsPacket> packets;
    for (int k = 0; k < 100; ++k) packets.push_back(make_dts_packet(elsewhere, 512, stream));
    for (const DtsPacket& packet : packets) {
        ASSERT_FALSE(packet.is_view());
        EXPECT_EQ(packet.data.data(), packet.copy.data());
        EXPECT_TRUE(std::equal(packet.data.begin(), packet.data.end(), stream.begin(), stream.end()));
    }
    const DtsPacket inside = make_dts_packet(std::span(stream).subspan(4, 10), 0, stream);
    EXPECT_TRUE(inside.is_view());
    EXPECT_EQ(inside.data.data(), stream.data() + 4);
}

TEST(PacketiseDts, FailuresCarryTheirMessages) {
    EXPECT_EQ(test::error_message([] { packetise_dts(analysis_of({0x7F, 0xFE, 0x80, 0x01}, DtsPacking::Be16, 4)); }),
              "invalid DTS sync offset");
    EXPECT_EQ(test::error_message([] { packetise_dts(analysis_of({}, DtsPacking::Be16, 0)); }), "invalid DTS sync offset");

    // An error raised by the caller's action reaches the caller unchanged.
    const InputAnalysis analysis = carried_with_lead(DtsPacking::Be16, 0);
    int seen = 0;
    EXPECT_EQ(test::error_message([&] {
                  run_dts_parser(analysis, {"init", "parse", "flush"}, [&](std::span<const std::uint8_t>, int) {
                      if (++seen == 3) throw std::runtime_error("stop at the third frame");
                  });
              }),
              "stop at the third frame");
    EXPECT_EQ(seen, 3);
}

TEST(PacketiseDts, ParserWithoutDurationGivesZero) {
    // A lone sync word followed by silence: the flush releases it as one packet with no duration.
    Bytes payload{0xFF, 0x1F, 0x00, 0xE8, 0xF0, 0x07};
    payload.resize(5000, 0x00);
    const std::vector<DtsPacket> packets = packetise_dts(analysis_of(payload, DtsPacking::Le14, 0));
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].duration, 0);
    EXPECT_EQ(packets[0].data.size(), payload.size());
}

}  // namespace
}  // namespace orvane
