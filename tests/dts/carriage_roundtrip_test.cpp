// The test inputs themselves must be right: every carriage of a clip has to decode, through FFmpeg's
// own parser and decoder, to the samples of the plain stream, and must be recognised by the sync search.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "dts/dts_sync.hpp"
#include "support/carriage.hpp"
#include "support/dts_clip.hpp"
#include "support/reference_decode.hpp"

namespace orvane::test {
namespace {

Bytes frame_bytes(std::initializer_list<int> values) {
    Bytes out;
    for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

TEST(DtsClip, EncodesTheRequestedShapes) {
    const DtsClip cd = encode_dts_cd_clip(3);
    ASSERT_EQ(cd.frames.size(), 3u);
    for (const Bytes& frame : cd.frames) {
        EXPECT_EQ(frame.size(), kDtsCdFrameBytes);
        EXPECT_EQ(frame_bytes({0x7F, 0xFE, 0x80, 0x01}), Bytes(frame.begin(), frame.begin() + 4));
    }
    EXPECT_EQ(cd.joined().size(), 3 * kDtsCdFrameBytes);

    for (int channels : {1, 2, 4, 5, 6}) {
        DtsClipSpec spec;
        spec.channels = channels;
        spec.frames = 2;
        const DtsClip clip = encode_dts_clip(spec);
        ASSERT_EQ(clip.frames.size(), 2u) << channels;
        const ReferenceDecode decoded = reference_decode(clip.joined());
        EXPECT_EQ(decoded.channels, channels);
        EXPECT_EQ(decoded.sample_rate, 48000);
        EXPECT_EQ(decoded.frames, 2);
    }

    DtsClipSpec bad;
    bad.channels = 3;
    EXPECT_THROW(encode_dts_clip(bad), std::runtime_error);
}

TEST(DtsClip, CarriesASignalNotSilence) {
    const ReferenceDecode decoded = reference_decode(encode_dts_cd_clip(4).joined());
    ASSERT_EQ(decoded.channels, 6);
    float peak = 0;
    for (float s : decoded.samples) peak = std::max(peak, std::abs(s));
    EXPECT_GT(peak, 0.3f);
    EXPECT_LT(peak, 0.8f);
}

TEST(Carriage, FourteenBitWordsOfTheSyncWord) {
    // 7F FE 80 01 = 01111111111111 10100000000000 0001 + zero fill
    const Bytes sync = frame_bytes({0x7F, 0xFE, 0x80, 0x01});
    EXPECT_EQ(pack_frame_14bit(sync, false), frame_bytes({0x1F, 0xFF, 0xE8, 0x00, 0x04, 0x00}));
    EXPECT_EQ(pack_frame_14bit(sync, true), frame_bytes({0xFF, 0x1F, 0x00, 0xE8, 0x00, 0x04}));
    // Bit 13 of a word set: the two top bits follow it.
    EXPECT_EQ(pack_frame_14bit(frame_bytes({0xFF, 0xFC}), false), frame_bytes({0xFF, 0xFF, 0x00, 0x00}));
    EXPECT_EQ(pack_frame_14bit(frame_bytes({0x80, 0x00}), false), frame_bytes({0xE0, 0x00, 0x00, 0x00}));
    EXPECT_EQ(swap_byte_pairs(frame_bytes({1, 2, 3, 4, 5})), frame_bytes({2, 1, 4, 3, 5}));
}

TEST(Carriage, FourteenBitPackingRoundTripsEveryBitPattern) {
    Bytes frame(1792);
    for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<std::uint8_t>(i * 37 + (i >> 8));
    for (bool little : {false, true}) {
        const Bytes packed = pack_frame_14bit(frame, little);
        EXPECT_EQ(packed.size(), 2048u);  // 1792 bytes fit exactly into 1024 words
        for (std::size_t i = 0; i < packed.size(); i += 2) {
            const std::uint16_t word = little ? packed[i] | packed[i + 1] << 8 : packed[i] << 8 | packed[i + 1];
            const unsigned top = word >> 14;
            EXPECT_EQ(top, (word & 0x2000) ? 3u : 0u) << i;
        }
        EXPECT_EQ(unpack_frame_14bit(packed, little), frame);
    }
    // A frame whose bits do not fill the last word: zero-filled, and the frame's bytes come back.
    const Bytes odd = frame_bytes({0xAB, 0xCD, 0xEF, 0x12, 0x34});
    const Bytes packed = pack_frame_14bit(odd, false);
    ASSERT_EQ(packed.size(), 6u);  // 40 bits -> 3 words
    const Bytes unpacked = unpack_frame_14bit(packed, false);
    ASSERT_GE(unpacked.size(), 5u);
    EXPECT_EQ(Bytes(unpacked.begin(), unpacked.begin() + 5), odd);
}

TEST(Carriage, EveryCarriageDecodesToThePlainStreamSamples) {
    struct Case {
        const char* name;
        DtsClip clip;
    };
    DtsClipSpec stereo;
    stereo.frames = 4;
    Case cases[] = {{"dts-cd 5.1", encode_dts_cd_clip(4)}, {"48 kHz stereo", encode_dts_clip(stereo)}};
    for (const Case& c : cases) {
        const ReferenceDecode plain = reference_decode(carry_clip(c.clip, DtsPacking::Be16));
        ASSERT_EQ(plain.frames, 4) << c.name;
        for (DtsPacking packing : {DtsPacking::Le16, DtsPacking::Be14, DtsPacking::Le14}) {
            const Bytes carried = carry_clip(c.clip, packing);
            const auto [found, offset] = find_dts_sync(carried.data(), carried.size(), kInputSyncScanLimit);
            EXPECT_EQ(found, packing) << c.name << " " << packing_name(packing);
            EXPECT_EQ(offset, 0u);
            const ReferenceDecode decoded = reference_decode(carried);
            EXPECT_EQ(decoded.frames, plain.frames) << c.name << " " << packing_name(packing);
            EXPECT_EQ(decoded.samples, plain.samples) << c.name << " " << packing_name(packing);
        }
    }
}

}  // namespace
}  // namespace orvane::test
