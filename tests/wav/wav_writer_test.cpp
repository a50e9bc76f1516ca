#include <gtest/gtest.h>

#include <filesystem>

#include "decode/frame_builder.hpp"
#include "wav/wav_writer.hpp"
#include "support/temp_dir.hpp"
#include "support/error_text.hpp"

namespace orvane {
namespace {

using test::Bytes;
using test::frame_of;
using test::make_frame;
using test::read_file;

std::uint32_t le32_at(const Bytes& bytes, std::size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}
std::uint16_t le16_at(const Bytes& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

TEST(WavWriter, HeaderAndSamples) {
    test::TempDir dir;
    const auto path = dir.file("out.wav");
    {
        WavWriter writer;
        open_wav_output(writer, path, 48000, 6, false);
        const auto frame = make_frame(AV_SAMPLE_FMT_S32P, 6, 100);
        test::set_plane<std::int32_t>(*frame, 5, {0x12345600, -256});
        write_wav_frame(writer, *frame);
        write_wav_frame(writer, *frame);
        finish_wav(writer);
    }
    const Bytes bytes = read_file(path);
    ASSERT_EQ(bytes.size(), 44u + 2 * 100 * 6 * 3);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
    EXPECT_EQ(le32_at(bytes, 4), bytes.size() - 8);
    EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(le32_at(bytes, 16), 16u);
    EXPECT_EQ(le16_at(bytes, 20), 1);
    EXPECT_EQ(le16_at(bytes, 22), 6);
    EXPECT_EQ(le32_at(bytes, 24), 48000u);
    EXPECT_EQ(le32_at(bytes, 28), 864000u);
    EXPECT_EQ(le16_at(bytes, 32), 18);
    EXPECT_EQ(le16_at(bytes, 34), 24);
    EXPECT_EQ(std::string(bytes.begin() + 36, bytes.begin() + 40), "data");
    EXPECT_EQ(le32_at(bytes, 40), bytes.size() - 44);
    // Channel 5 of sample 0 ends the first sample frame; sample 1 follows.
    EXPECT_EQ(Bytes(bytes.begin() + 44 + 15, bytes.begin() + 44 + 18), (Bytes{0x56, 0x34, 0x12}));
    EXPECT_EQ(Bytes(bytes.begin() + 44 + 33, bytes.begin() + 44 + 36), (Bytes{0xFF, 0xFF, 0xFF}));
}

TEST(WavWriter, OddDataSizeGetsNoPadByte) {
    test::TempDir dir;
    const auto path = dir.file("mono.wav");
    {
        WavWriter writer;
        open_wav_output(writer, path, 8000, 1, false);
        write_wav_frame(writer, *frame_of<float>(AV_SAMPLE_FMT_FLTP, {{0.25f, -0.25f, 1.0f}}));
        finish_wav(writer);
    }
    const Bytes bytes = read_file(path);
    ASSERT_EQ(bytes.size(), 44u + 9);
    EXPECT_EQ(le32_at(bytes, 40), 9u);
    EXPECT_EQ(le32_at(bytes, 4), 45u);
    EXPECT_EQ(le32_at(bytes, 28), 24000u);
}

TEST(WavWriter, ExistingOutputIsRefusedUntouched) {
    test::TempDir dir;
    const auto path = dir.file("old.wav");
    test::write_file(path, {1, 2, 3});
    WavWriter writer;
    EXPECT_EQ(test::error_message([&] { open_wav_output(writer, path, 48000, 2, false); }),
              "output file already exists (use --overwrite)");
    EXPECT_EQ(writer.file, nullptr);
    EXPECT_EQ(read_file(path), (Bytes{1, 2, 3}));
    EXPECT_EQ(test::error_message([&] { open_wav_output(writer, dir.path, 48000, 2, true); }), "unable to create WAV output");
}

TEST(WavWriter, ChannelChangeIsRefusedAndNothingIsLeft) {
    test::TempDir dir;
    const auto path = dir.file("partial.wav");
    {
        WavWriter writer;
        open_wav_output(writer, path, 44100, 2, false);
        write_wav_frame(writer, *make_frame(AV_SAMPLE_FMT_FLTP, 2, 10));
        EXPECT_EQ(test::error_message([&] { write_wav_frame(writer, *make_frame(AV_SAMPLE_FMT_FLTP, 1, 10)); }),
                  "DTS channel layout changed during stream");
        EXPECT_EQ(writer.data_bytes, 60u);
        // The writer is released unfinished, as after any error of the decode: its staged file goes.
    }
    EXPECT_TRUE(dir.names().empty());
}

TEST(WavWriter, FourGibLimitIsCheckedAtTheEnd) {
    test::TempDir dir;
    const auto at_limit = dir.file("limit.wav");
    {
        WavWriter writer;
        open_wav_output(writer, at_limit, 48000, 1, false);
        writer.data_bytes = kMaxWavDataBytes;  // 1,431,655,753 samples of 3 bytes
        finish_wav(writer);
    }
    Bytes bytes = read_file(at_limit);
    EXPECT_EQ(le32_at(bytes, 4), 0xFFFFFFFFu);
    EXPECT_EQ(le32_at(bytes, 40), 0xFFFFFFDBu);

    const auto over = dir.file("over.wav");
    {
        WavWriter writer;
        open_wav_output(writer, over, 48000, 1, false);
        writer.data_bytes = kMaxWavDataBytes + 3;
        EXPECT_EQ(test::error_message([&] { finish_wav(writer); }), "decoded WAV exceeds RIFF 4 GiB limit; FLAC is recommended");
    }
    EXPECT_EQ(dir.names(), std::vector<std::string>{"limit.wav"});
}

TEST(WavWriter, FullDiskIsAnError) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    test::TempDir dir;
    const auto path = dir.file("full.wav");
    std::filesystem::create_symlink("/dev/full", path);
    {
        // Small enough to sit in the stream's buffer until the end.
        WavWriter writer;
        open_wav_output(writer, path, 48000, 2, true);
        write_wav_frame(writer, *make_frame(AV_SAMPLE_FMT_FLTP, 2, 4));
        EXPECT_EQ(test::error_message([&] { finish_wav(writer); }), "error writing WAV output");
    }
    {
        WavWriter writer;
        open_wav_output(writer, path, 48000, 2, true);
        EXPECT_EQ(test::error_message([&] {
                      for (int i = 0; i < 100; ++i) write_wav_frame(writer, *make_frame(AV_SAMPLE_FMT_FLTP, 2, 512));
                  }),
                  "error writing WAV output");
    }
}

}  // namespace
}  // namespace orvane
