#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "decode/sample_conversion.hpp"
#include "decode/frame_builder.hpp"

namespace orvane {
namespace {

using test::frame_of;
using test::make_frame;

struct S32Case {
    std::int32_t in;
    std::int32_t wav;
};

TEST(SampleConversion, S32RoundsHalvesAwayFromZeroAndClamps) {
    const S32Case cases[] = {
        {0, 0},
        {127, 0},
        {-127, 0},
        {128, 1},
        {-128, -1},
        {256, 1},
        {-256, -1},
        {383, 1},
        {384, 2},
        {-384, -2},
        {0x7FFFFF00, 8388607},
        {0x7FFFFF7F, 8388607},
        {0x7FFFFF80, 8388607},  // would round to 2^23 without the clamp
        {std::numeric_limits<std::int32_t>::max(), 8388607},
        {-0x7FFFFF80, -8388608},
        {std::numeric_limits<std::int32_t>::min(), -8388608},
        {-0x7FFFFF00, -8388607},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(pcm24_from_s32(c.in), c.wav) << c.in;
        EXPECT_EQ(flac_from_s32(c.in), c.wav * 256) << c.in;
    }
    // Values with zero low bits convert exactly, both signs.
    for (std::int32_t v : {1, -1, 4660, -4660, 8388607, -8388608}) EXPECT_EQ(pcm24_from_s32(v * 256), v);
}

TEST(SampleConversion, S16ScalesExactly) {
    EXPECT_EQ(pcm24_from_s16(-32768), -8388608);
    EXPECT_EQ(flac_from_s16(-32768), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(pcm24_from_s16(32767), 32767 * 256);
    EXPECT_EQ(flac_from_s16(32767), 32767 * 65536);
    EXPECT_EQ(pcm24_from_s16(-1), -256);
    EXPECT_EQ(flac_from_s16(-1), -65536);
}

TEST(SampleConversion, FloatClampsThenTruncatesTowardZero) {
    constexpr float kLargestBelowOne = 0.99999994f;  // 1 - 2^-24, above the clamp point 1 - 2^-23
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        float in;
        std::int32_t wav;
        std::int32_t flac;
    };
    const Case cases[] = {
        {1.0f, 8388607, 2147483392},
        {1.5f, 8388607, 2147483392},
        {inf, 8388607, 2147483392},
        {kLargestBelowOne, 8388607, 2147483392},
        {0.99999988079071044921875f, 8388607, 2147483392},
        {-1.0f, -8388608, std::numeric_limits<std::int32_t>::min()},
        {-1.5f, -8388608, std::numeric_limits<std::int32_t>::min()},
        {-inf, -8388608, std::numeric_limits<std::int32_t>::min()},
        {0.5f, 4194304, 1073741824},
        {-0.5f, -4194304, -1073741824},
        {-0.00000001f, 0, -21},  // FLAC form keeps the bits below 24
        {0.00000001f, 0, 21},
        {-1.5f / 8388608.0f, -1, -384},
        {0.0f, 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(pcm24_from_float(c.in), c.wav) << c.in;
        EXPECT_EQ(flac_from_float(c.in), c.flac) << c.in;
    }
}

TEST(SampleConversion, NanBecomesSilenceInBothForms) {
    for (float nan : {std::numeric_limits<float>::quiet_NaN(), -std::numeric_limits<float>::quiet_NaN(),
                      std::numeric_limits<float>::signaling_NaN()}) {
        EXPECT_EQ(pcm24_from_float(nan), 0);
        EXPECT_EQ(flac_from_float(nan), 0);
    }
}

TEST(SampleConversion, FramesInterleaveInPlaneOrder) {
    const auto s32 = frame_of<std::int32_t>(AV_SAMPLE_FMT_S32P, {{256, 0x7FFFFFFF, -256}, {-128, 512, 0x12345600}});
    std::vector<std::uint8_t> bytes(1, 0xAA);  // appended behind what is there
    append_pcm24_bytes(*s32, 2, bytes);
    const std::vector<std::uint8_t> expected = {0xAA,
                                                0x01, 0x00, 0x00, 0xFF, 0xFF, 0xFF,   // L0 R0
                                                0xFF, 0xFF, 0x7F, 0x02, 0x00, 0x00,   // L1 R1
                                                0xFF, 0xFF, 0xFF, 0x56, 0x34, 0x12};  // L2 R2
    EXPECT_EQ(bytes, expected);

    std::vector<std::int32_t> flac = {42};  // appended behind what is there
    append_flac_samples(*s32, 2, flac);
    EXPECT_EQ(flac, (std::vector<std::int32_t>{42, 256, -256, 0x7FFFFF00, 512, -256, 0x12345600}));

    const auto fltp = frame_of<float>(AV_SAMPLE_FMT_FLTP, {{0.5f, -1.0f}, {2.0f, std::nanf("")}});
    bytes.assign(1, 0xAA);
    append_pcm24_bytes(*fltp, 2, bytes);
    bytes.erase(bytes.begin());
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x00, 0x00, 0x40, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x80, 0, 0, 0}));
    for (int i = 0; i < 2; ++i) {
        for (int c = 0; c < 2; ++c) {
            const std::int32_t v = pcm24_sample(*fltp, c, i);
            const std::size_t at = static_cast<std::size_t>(i * 2 + c) * 3;
            EXPECT_EQ(v, (static_cast<std::int32_t>(bytes[at + 2] << 24 | bytes[at + 1] << 16 | bytes[at] << 8)) >> 8);
        }
    }

    const auto s16 = frame_of<std::int16_t>(AV_SAMPLE_FMT_S16P, {{-32768}, {1}, {2}});
    flac.clear();
    append_flac_samples(*s16, 3, flac);
    EXPECT_EQ(flac, (std::vector<std::int32_t>{std::numeric_limits<std::int32_t>::min(), 65536, 131072}));
    EXPECT_EQ(flac_s32_sample(*s16, 0, 0), std::numeric_limits<std::int32_t>::min());
}

// Whole frames take a faster path than single values; both must give the same samples, for every
// boundary value and wherever it falls in the frame.
TEST(SampleConversion, FloatFramesMatchTheValueRules) {
    const float values[] = {1.0f, 1.5f, 0.99999994f, 0.99999988079071044921875f, -1.0f, -1.0000001f,
                            -0.00000001f, 1e-40f, -1e-40f, 0.5f, -0.3f, 3e38f, -3e38f,
                            std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                            std::numeric_limits<float>::quiet_NaN(), -std::numeric_limits<float>::quiet_NaN(),
                            -1.5f / 8388608.0f, 1.5f / 8388608.0f, 0.0f, -0.0f};
    const int count = static_cast<int>(std::size(values));
    for (const int channels : {1, 3, 6}) {
        for (const int samples : {1, 3, 4, 5, 8, 23}) {
            const auto frame = make_frame(AV_SAMPLE_FMT_FLTP, channels, samples);
            for (int c = 0; c < channels; ++c) {
                auto* plane = reinterpret_cast<float*>(frame->extended_data[c]);
                for (int i = 0; i < samples; ++i) plane[i] = values[(i * channels + c * 7) % count];
            }
            std::vector<std::uint8_t> bytes;
            std::vector<std::int32_t> flac;
            append_pcm24_bytes(*frame, channels, bytes);
            append_flac_samples(*frame, channels, flac);
            ASSERT_EQ(bytes.size(), static_cast<std::size_t>(samples * channels * 3));
            ASSERT_EQ(flac.size(), static_cast<std::size_t>(samples * channels));
            for (int i = 0; i < samples; ++i) {
                for (int c = 0; c < channels; ++c) {
                    const std::size_t slot = static_cast<std::size_t>(i * channels + c);
                    const std::int32_t wav = pcm24_sample(*frame, c, i);
                    EXPECT_EQ(bytes[slot * 3], wav & 0xFF);
                    EXPECT_EQ(bytes[slot * 3 + 1], (wav >> 8) & 0xFF);
                    EXPECT_EQ(bytes[slot * 3 + 2], (wav >> 16) & 0xFF);
                    EXPECT_EQ(flac[slot], flac_s32_sample(*frame, c, i));
                }
            }
        }
    }
}

TEST(SampleConversion, RefusesChannelChangeBeforeTouchingOutput) {
    const auto mono = make_frame(AV_SAMPLE_FMT_FLTP, 1, 16);
    std::vector<std::int32_t> flac = {1, 2};
    std::vector<std::uint8_t> bytes = {9, 9, 9};
    EXPECT_THROW(
        {
            try {
                append_flac_samples(*mono, 2, flac);
            } catch (const std::runtime_error& e) {
                EXPECT_STREQ(e.what(), "DTS channel layout changed during stream");
                throw;
            }
        },
        std::runtime_error);
    EXPECT_THROW(append_pcm24_bytes(*mono, 2, bytes), std::runtime_error);
    EXPECT_EQ(flac, (std::vector<std::int32_t>{1, 2}));
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{9, 9, 9}));
}

TEST(SampleConversion, RefusesOtherSampleFormats) {
    for (AVSampleFormat format : {AV_SAMPLE_FMT_S32, AV_SAMPLE_FMT_FLT, AV_SAMPLE_FMT_S16, AV_SAMPLE_FMT_DBLP,
                                  AV_SAMPLE_FMT_U8P}) {
        const auto frame = make_frame(format, 2, 4);
        std::vector<std::int32_t> flac;
        std::vector<std::uint8_t> bytes;
        try {
            append_pcm24_bytes(*frame, 2, bytes);
            ADD_FAILURE() << "accepted format " << format;
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "unsupported decoder sample format");
        }
        EXPECT_THROW(append_flac_samples(*frame, 2, flac), std::runtime_error);
        EXPECT_TRUE(flac.empty());
        EXPECT_THROW(pcm24_sample(*frame, 0, 0), std::runtime_error);
    }
}

}  // namespace
}  // namespace orvane
