// End-to-end runs of the binary with .wav output.

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <sstream>
#include <string>

#include "decode/decoded_output.hpp"
#include "dts/dts_packing.hpp"
#include "support/carriage.hpp"
#include "support/dts_clip.hpp"
#include "support/process_runner.hpp"
#include "support/temp_dir.hpp"
#include "support/wav_file.hpp"
#include "support/error_text.hpp"

namespace orvane::test {
namespace {

constexpr int kFrames = 12;
constexpr const char* kDecodedLine = "Decoded: 44100 Hz, 6 ch (5.1(side)), PCM24 output\n";

using test::error_report;

bool ends_with(const std::string& text, const std::string& tail) { return text.ends_with(tail); }

class DecodeWav : public ::testing::Test {
protected:
    const DtsClip* clip = &cached_dts_cd_clip(kFrames);
    TempDir dir;

    std::filesystem::path carrier(DtsPacking packing, const std::string& name = "in.wav") {
        const auto path = dir.file(name);
        write_file(path, carrier_wav(carry_clip(*clip, packing)));
        return path;
    }
};


TEST_F(DecodeWav, EveryCarriageDecodesAsFfmpegDecodesTheStream) {
    const std::vector<float> reference = ffmpeg_reference_decode(dir, clip->joined());
    ASSERT_EQ(reference.size(), kFrames * 512u * 6);
    for (const DtsPacking packing : {DtsPacking::Be16, DtsPacking::Le16, DtsPacking::Be14, DtsPacking::Le14}) {
        SCOPED_TRACE(packing_name(packing));
        const auto out = dir.file("out.WAV");
        const auto result = run_orvane({carrier(packing).string(), out.string(), "--overwrite"});
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_TRUE(ends_with(result.out, std::string("Operation: DTS decode -> multichannel PCM WAV\n") + kDecodedLine +
                                              "\nConversion complete.\n"))
            << result.out;

        const Bytes wav = read_file(out);
        ASSERT_EQ(wav.size(), 44u + kFrames * 512 * 6 * 3);
        EXPECT_EQ(le32_at(wav, 4), wav.size() - 8);
        EXPECT_EQ(le32_at(wav, 40), wav.size() - 44);
        EXPECT_EQ(samples_off_reference(ffmpeg_read_pcm24(dir, out), reference), 0u);
    }
}

TEST_F(DecodeWav, Rf64CarrierQuietly) {
    const auto in = dir.file("rf64.wav");
    write_file(in, carrier_wav(carry_clip(*clip, DtsPacking::Le14), 44100, true));
    const auto out = dir.file("q.wav");
    const auto result = run_orvane({in.string(), out.string(), "--quiet"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(read_file(out).size(), 44u + kFrames * 512 * 6 * 3);
}

TEST_F(DecodeWav, ExistingOutputIsRefusedAfterTheDecodedLine) {
    const auto in = carrier(DtsPacking::Be16);
    for (const char* name : {"old.wav", "old.flac"}) {
        const auto out = dir.file(name);
        write_file(out, {'o', 'l', 'd'});
        const auto result = run_orvane({in.string(), out.string()});
        EXPECT_EQ(result.status, 2);
        EXPECT_TRUE(ends_with(result.out, kDecodedLine)) << result.out;
        EXPECT_EQ(result.err, error_report("output file already exists (use --overwrite)"));
        EXPECT_EQ(read_file(out), (Bytes{'o', 'l', 'd'}));
    }
}

TEST_F(DecodeWav, FullDiskIsReported) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    if (testing_windows_build()) GTEST_SKIP() << "under Wine a link to /dev/full looks like a disk file";
    const auto in = carrier(DtsPacking::Be16);
    const auto wav = dir.file("full.wav");
    const auto flac = dir.file("full.flac");
    std::filesystem::create_symlink("/dev/full", wav);
    std::filesystem::create_symlink("/dev/full", flac);
    auto result = run_orvane({in.string(), wav.string(), "--overwrite"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, error_report("error writing WAV output"));
    EXPECT_EQ(result.out.find("Conversion complete."), std::string::npos);
    result = run_orvane({in.string(), flac.string(), "--overwrite"});
    EXPECT_EQ(result.status, 2);
    // A short file sits in the stream buffer until the flush before the STREAMINFO update.
    EXPECT_EQ(result.err, error_report("unable to flush FLAC output before STREAMINFO update"));
}

// A stereo stream that turns into 5.1: the run fails at the change and leaves no file, neither at
// the output's name nor beside it.
TEST_F(DecodeWav, ChannelCountChangeLeavesNoFile) {
    DtsClipSpec spec;
    spec.sample_rate = 44100;
    spec.channels = 2;
    spec.frames = 5;
    Bytes stream = encode_dts_clip(spec).joined();
    const Bytes tail = clip->joined();
    stream.insert(stream.end(), tail.begin(), tail.end());
    const auto in = dir.file("change.dts");
    write_file(in, stream);
    const auto out = dir.file("change.wav");
    const auto result = run_orvane({in.string(), out.string()});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, error_report("DTS channel layout changed during stream"));
    EXPECT_TRUE(ends_with(result.out, "Decoded: 44100 Hz, 2 ch (stereo), PCM24 output\n")) << result.out;

    EXPECT_EQ(dir.names(), std::vector<std::string>{"change.dts"});
}

// A DTS-CD rip with a read error: junk from byte 100 of a frame on, some of its bytes maybe lost.
// Concealed, the frames it touches become silence of their length, at the start as anywhere, so the
// track keeps its sample count; otherwise the run fails after saying where.
TEST_F(DecodeWav, DamagedFramesAreConcealedOrNamed) {
    const Bytes stream = carry_clip(*clip, DtsPacking::Le14);
    const std::size_t frame = stream.size() / kFrames;
    const struct {
        int first;           // the first damaged frame
        std::size_t length;  // junk bytes from its byte 100
        std::size_t lost;    // bytes cut out of the junk
        int silent;          // frames that become silence
        const char* time;
    } cases[] = {{4, 2 * frame, 0, 3, "0:00.046"}, {0, 2 * frame, 0, 3, "0:00.000"},
                 {4, 2 * frame, 100, 3, "0:00.046"}, {0, frame - 100, 0, 1, "0:00.000"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "frame " << c.first << ", " << c.length << " bytes, " << c.lost << " lost");
        // The ripper's file is whole: its header declares what it holds.
        Bytes damaged = stream;
        const std::size_t at_frame = c.first * frame;
        std::mt19937 random(19);
        for (std::size_t i = at_frame + 100; i < at_frame + 100 + c.length; ++i) damaged[i] = static_cast<std::uint8_t>(random());
        damaged.erase(damaged.begin() + at_frame + 200, damaged.begin() + at_frame + 200 + c.lost);
        const Bytes file = carrier_wav(damaged);
        const std::size_t first = file.size() - damaged.size() + at_frame;
        const auto in = dir.file("damaged.wav");
        write_file(in, file);
        const std::string where = "at " + std::string(c.time) + ", input byte " + std::to_string(first) + "\n";

        const auto out = dir.file("out.wav");
        const auto concealed = run_orvane({"--conceal-damage", "--overwrite", in.string(), out.string()});
        ASSERT_EQ(concealed.status, 0) << concealed.err;
        EXPECT_EQ(concealed.err, "");  // what FFmpeg logged about the damage goes with the run's success
        const std::string line = "Damaged DTS frame replaced by silence " + where;
        EXPECT_TRUE(ends_with(concealed.out, (c.first > 0 ? kDecodedLine + line : line + kDecodedLine) +
                                                 "\nConversion complete.\n"))
            << concealed.out;
        const std::vector<std::int32_t> pcm = ffmpeg_read_pcm24(dir, out);
        ASSERT_EQ(pcm.size(), kFrames * 512u * 6);
        const auto at = [&](int frame_index) { return pcm.begin() + frame_index * 512 * 6; };
        const auto silent = [](std::int32_t sample) { return sample == 0; };
        EXPECT_TRUE(std::all_of(at(c.first), at(c.first + c.silent), silent));
        EXPECT_FALSE(std::all_of(at(c.first + c.silent), at(c.first + c.silent + 1), silent));
        EXPECT_TRUE(c.first == 0 || !std::all_of(at(c.first - 1), at(c.first), silent));

        const auto failed = run_orvane({in.string(), dir.file("failed.flac").string(), "--overwrite"});
        EXPECT_EQ(failed.status, 2);
        EXPECT_TRUE(ends_with(failed.out, (c.first > 0 ? kDecodedLine : "") + std::string("Damaged DTS frame ") + where))
            << failed.out;
        // FFmpeg's errors come before the report, each line naming the input; with --quiet, only the report.
        const std::string report = error_report("DTS packet rejected: Invalid data found when processing input");
        ASSERT_TRUE(ends_with(failed.err, report)) << failed.err;
        std::istringstream logged(failed.err.substr(0, failed.err.size() - report.size()));
        int lines = 0;
        for (std::string logged_line; std::getline(logged, logged_line); ++lines) {
            EXPECT_EQ(logged_line.rfind(in.string() + ": [dca] ", 0), 0u) << logged_line;
        }
        EXPECT_GT(lines, 0);
        EXPECT_EQ(run_orvane({"--quiet", "--overwrite", in.string(), dir.file("quiet.flac").string()}).err, report);
    }
}

TEST_F(DecodeWav, NoDecodableFrameCreatesNoFile) {
    // Sync words and headers, but each frame cut after 100 bytes: the parser merges them into
    // packets the decoder refuses.
    Bytes stream;
    for (int i = 0; i < 3; ++i) stream.insert(stream.end(), clip->frames[0].begin(), clip->frames[0].begin() + 100);
    const auto in = dir.file("junk.dts");
    write_file(in, stream);
    for (const char* name : {"junk.wav", "junk.flac"}) {
        const auto result = run_orvane({in.string(), dir.file(name).string(), "--quiet"});
        EXPECT_EQ(result.status, 2);
        EXPECT_FALSE(std::filesystem::exists(dir.file(name)));
        EXPECT_EQ(result.err, error_report("DTS stream contained no decodable audio frames"));
    }
}

}  // namespace
}  // namespace orvane::test
