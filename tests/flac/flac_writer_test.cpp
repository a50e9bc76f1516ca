#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <span>
#include <vector>

#include "flac/flac_writer.hpp"
#include "decode/sample_conversion.hpp"
#include "decode/frame_builder.hpp"
#include "support/process_runner.hpp"
#include "support/temp_dir.hpp"
#include "support/error_text.hpp"

namespace orvane {
namespace {

using test::Bytes;
using test::make_frame;
using test::read_file;

// Stereo S32P frames of 512 samples whose values say where they are (frame, channel, index), so a
// decode of the file shows any sample lost, repeated or moved.
FrameHandle numbered_frame(int number, int channels = 2) {
    auto frame = make_frame(AV_SAMPLE_FMT_S32P, channels, 512, 44100);
    for (int c = 0; c < channels; ++c) {
        auto* plane = reinterpret_cast<std::int32_t*>(frame->extended_data[c]);
        for (int i = 0; i < 512; ++i) plane[i] = ((number * 512 + i) * (c == 0 ? 3 : -5)) * 256;
    }
    return frame;
}

// Stereo frames that do not compress, so the encoded file outgrows the stream buffer.
FrameHandle noise_frame(int number) {
    auto frame = make_frame(AV_SAMPLE_FMT_S32P, 2, 512, 44100);
    std::uint32_t state = 2654435761u * static_cast<std::uint32_t>(number + 1);
    for (int c = 0; c < 2; ++c) {
        auto* plane = reinterpret_cast<std::int32_t*>(frame->extended_data[c]);
        for (int i = 0; i < 512; ++i) {
            state = state * 1664525u + 1013904223u;
            plane[i] = static_cast<std::int32_t>(state & 0xFFFFFF00u);
        }
    }
    return frame;
}

AVChannelLayout stereo() {
    AVChannelLayout layout{};
    av_channel_layout_default(&layout, 2);
    return layout;
}

std::int32_t expected_sample(std::int64_t index, int channel) {
    return static_cast<std::int32_t>(index * (channel == 0 ? 3 : -5));
}

TEST(FlacWriter, GathersWholeEncoderFramesAndWritesAValidFile) {
    test::TempDir dir;
    const auto path = dir.file("out.flac");
    TagSet tags;
    tags.artist = "Someone";
    constexpr int kFrames = 19;  // 9728 samples: two whole encoder frames and a short one
    {
        FlacWriter writer;
        open_flac_output(writer, path, 44100, stereo(), false, tags);
        ASSERT_EQ(encoder_frame_size(writer), 4608);
        for (int n = 0; n < 8; ++n) buffer_flac_frame(writer, *numbered_frame(n));
        EXPECT_EQ(writer.pcm.size(), 8u * 512 * 2);
        EXPECT_EQ(writer.total_samples, 0u);
        buffer_flac_frame(writer, *numbered_frame(8));
        EXPECT_TRUE(writer.pcm.empty());
        EXPECT_EQ(writer.total_samples, 4608u);
        for (int n = 9; n < kFrames; ++n) buffer_flac_frame(writer, *numbered_frame(n));
        EXPECT_EQ(writer.total_samples, 9216u);
        EXPECT_EQ(writer.pcm.size(), 512u * 2);
        finish_flac(writer);
        EXPECT_EQ(writer.total_samples, kFrames * 512u);
        EXPECT_EQ(writer.file, nullptr);
    }

    const Bytes bytes = read_file(path);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 8), (Bytes{'f', 'L', 'a', 'C', 0, 0, 0, 0x22}));
    EXPECT_EQ(bytes[42], 0x84);
    // Sample rate, channels and depth in STREAMINFO stay as the encoder made them.
    EXPECT_EQ(bytes[8 + 10], 0x0A);
    EXPECT_EQ(bytes[8 + 11], 0xC4);
    EXPECT_EQ(bytes[8 + 12] >> 4, 0x4);         // rate low nibble 0x4 (44100 = 0x0AC44)
    EXPECT_EQ((bytes[8 + 12] >> 1) & 0x7, 1);   // channels - 1
    EXPECT_EQ(((bytes[8 + 12] & 1) << 4 | bytes[8 + 13] >> 4), 23);  // bits per sample - 1

    const auto check = test::run_program("flac", {"-t", "-s", path.string()});
    EXPECT_EQ(check.status, 0) << check.err;
    const auto total = test::run_program("metaflac", {"--show-total-samples", path.string()});
    EXPECT_EQ(total.out, std::to_string(kFrames * 512) + "\n");
    const auto tags_out = test::run_program("metaflac", {"--no-utf8-convert", "--export-tags-to=-", path.string()});
    EXPECT_EQ(tags_out.out, "ARTIST=Someone\nENCODER=ORVANE 1.0.1.0\n");

    const auto raw = dir.file("decoded.raw");
    const auto decode = test::run_program("flac", {"-d", "-s", "--force-raw-format", "--endian=little",
                                                   "--sign=signed", "-o", raw.string(), path.string()});
    ASSERT_EQ(decode.status, 0) << decode.err;
    const Bytes pcm = read_file(raw);
    ASSERT_EQ(pcm.size(), kFrames * 512u * 2 * 3);
    std::size_t mismatches = 0;
    for (std::size_t s = 0; s < pcm.size() / 3; ++s) {
        const std::int32_t value = static_cast<std::int32_t>(pcm[3 * s] << 8 | pcm[3 * s + 1] << 16 | pcm[3 * s + 2] << 24) >> 8;
        if (value != expected_sample(static_cast<std::int64_t>(s / 2), static_cast<int>(s % 2))) ++mismatches;
    }
    EXPECT_EQ(mismatches, 0u);
}

// Samples handed over in blocks that split encoder frames anywhere (short, ending on a frame's end,
// spanning several) make the same file as the same samples handed over frame by frame.
TEST(FlacWriter, SamplesInBlocksMakeTheFileOfTheSameFrames) {
    test::TempDir dir;
    constexpr int kFrames = 40;
    const auto write = [&](const std::filesystem::path& path, const std::function<void(FlacWriter&)>& feed) {
        FlacWriter writer;
        open_flac_output(writer, path, 44100, stereo(), false, TagSet{});
        feed(writer);
        finish_flac(writer);
        return read_file(path);
    };
    const Bytes expected = write(dir.file("frames.flac"), [](FlacWriter& writer) {
        for (int n = 0; n < kFrames; ++n) buffer_flac_frame(writer, *numbered_frame(n));
    });
    std::vector<std::int32_t> samples;
    for (int n = 0; n < kFrames; ++n) append_flac_samples(*numbered_frame(n), 2, samples);
    const std::vector<std::size_t> splits[] = {{1000, 8216, 20000, 6}, {9216, 30000}, {18433 * 2}};
    for (const auto& split : splits) {
        const Bytes bytes = write(dir.file("blocks.flac"), [&](FlacWriter& writer) {
            std::span<const std::int32_t> rest(samples);
            for (const std::size_t size : split) {
                buffer_flac_samples(writer, rest.first(size));
                rest = rest.subspan(size);
            }
            buffer_flac_samples(writer, rest);
        });
        EXPECT_EQ(bytes, expected) << split.size() << " blocks";
        std::filesystem::remove(dir.file("blocks.flac"));
    }
}

// A track list goes in as a CUESHEET whose lead-out is the total written at the end; it is flagged
// as a CD's only at 44.1 kHz with every offset, lead-out included, on the 588-sample CD frame grid.
TEST(FlacWriter, TrackListBecomesACuesheetWithTheLeadOutAtTheEnd) {
    test::TempDir dir;
    const auto path = dir.file("disc.flac");
    TrackList list{"", {{1, "", "", {{1, 0}}}, {2, "", "ABCDE1234567", {{0, 588 * 50}, {1, 588 * 52}}}}};
    const auto tracks = [](const char* start) {
        return "  TRACK 01 AUDIO\n    INDEX 01 " + std::string(start) + "\n  TRACK 02 AUDIO\n    ISRC ABCDE1234567\n";
    };
    const struct {
        std::uint64_t index_1;
        int frames;  // of 512 samples; 147 make 128 CD frames
        std::string expected;
    } cases[] = {
        {588 * 52, 147, tracks("00:00:00") + "    INDEX 00 00:00:50\n    INDEX 01 00:00:52\nREM FLAC__lead-in 88200\nREM FLAC__lead-out 170 75264\n"},
        {588 * 52 + 1, 147, tracks("0") + "    INDEX 00 29400\n    INDEX 01 30577\nREM FLAC__lead-in 0\nREM FLAC__lead-out 255 75264\n"},
        {588 * 52, 146, tracks("0") + "    INDEX 00 29400\n    INDEX 01 30576\nREM FLAC__lead-in 0\nREM FLAC__lead-out 255 74752\n"},
    };
    for (const auto& c : cases) {
        list.tracks[1].indexes[1].offset = c.index_1;
        {
            FlacWriter writer;
            open_flac_output(writer, path, 44100, stereo(), true, TagSet{}, list);
            for (int n = 0; n < c.frames; ++n) buffer_flac_frame(writer, *numbered_frame(n));
            finish_flac(writer);
        }
        EXPECT_EQ(test::run_program("flac", {"-t", "-s", path.string()}).status, 0);
        const auto sheet = test::run_program("metaflac", {"--export-cuesheet-to=-", path.string()});
        EXPECT_EQ(sheet.out, "FILE \"" + path.string() + "\" FLAC\n" + c.expected) << sheet.err;
    }
}

TEST(FlacWriter, ChannelChangeIsRefusedBeforeItsSamplesAreBuffered) {
    test::TempDir dir;
    FlacWriter writer;
    open_flac_output(writer, dir.file("x.flac"), 44100, stereo(), false, TagSet{});
    buffer_flac_frame(writer, *numbered_frame(0));
    EXPECT_EQ(test::error_message([&] { buffer_flac_frame(writer, *numbered_frame(1, 6)); }),
              "DTS channel layout changed during stream");
    EXPECT_EQ(writer.pcm.size(), 1024u);
    EXPECT_EQ(writer.total_samples, 0u);
}

TEST(FlacWriter, ExistingOutputIsRefusedBeforeTheEncoderIsSetUp) {
    test::TempDir dir;
    const auto path = dir.file("old.flac");
    test::write_file(path, {7});
    FlacWriter writer;
    EXPECT_EQ(test::error_message([&] {
                  open_flac_output(writer, path, 48000, stereo(), false, TagSet{});
              }),
              "output file already exists (use --overwrite)");
    EXPECT_FALSE(writer.encoder);
    EXPECT_EQ(read_file(path), Bytes{7});
}

TEST(FlacWriter, FullDiskIsAnError) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    test::TempDir dir;
    const auto path = dir.file("full.flac");
    std::filesystem::create_symlink("/dev/full", path);
    // A short file stays in the stream's buffer until the flush before the STREAMINFO update.
    const std::pair<int, const char*> cases[] = {{1, "unable to flush FLAC output before STREAMINFO update"},
                                                 {200, "error writing FLAC output"}};
    for (const auto& [frames, expected] : cases) {
        FlacWriter writer;
        open_flac_output(writer, path, 44100, stereo(), true, TagSet{});
        const std::string message = test::error_message([&] {
            for (int n = 0; n < frames; ++n) buffer_flac_frame(writer, *noise_frame(n));
            finish_flac(writer);
        });
        EXPECT_EQ(message, expected) << frames << " frames";
    }
}

}  // namespace
}  // namespace orvane
