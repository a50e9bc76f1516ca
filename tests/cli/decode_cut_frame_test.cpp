// A DTS-CD track ripped on its own ends with a cut-off frame: the complete frames are kept.

#include <gtest/gtest.h>

#include <filesystem>

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

constexpr int kFrames = 10;
constexpr std::size_t kKept = 1000;  // carried bytes left of the cut frame

using test::error_report;

class DecodeCutFrame : public ::testing::Test {
protected:
    const DtsClip* clip = &cached_dts_cd_clip(kFrames);
    TempDir dir;

    // The carried frames in order; frame `cut` keeps only its first kKept carried bytes.
    Bytes carried_with_cut(DtsPacking packing, int frames, int cut) const {
        Bytes stream;
        for (int i = 0; i < frames; ++i) {
            Bytes frame = carry_frame(clip->frames[static_cast<std::size_t>(i)], packing);
            if (i == cut) frame.resize(kKept);
            stream.insert(stream.end(), frame.begin(), frame.end());
        }
        return stream;
    }

    Bytes complete_frames(int count) const {
        Bytes stream;
        for (int i = 0; i < count; ++i) {
            stream.insert(stream.end(), clip->frames[static_cast<std::size_t>(i)].begin(),
                          clip->frames[static_cast<std::size_t>(i)].end());
        }
        return stream;
    }
};


TEST_F(DecodeCutFrame, CutLastFrameIsDroppedAndReported) {
    const std::vector<float> reference = ffmpeg_reference_decode(dir, complete_frames(kFrames - 1));
    ASSERT_EQ(reference.size(), (kFrames - 1) * 512u * 6);
    for (const DtsPacking packing : {DtsPacking::Be16, DtsPacking::Le16, DtsPacking::Be14, DtsPacking::Le14}) {
        SCOPED_TRACE(packing_name(packing));
        const auto in = dir.file("cut.wav");
        write_file(in, carrier_wav(carried_with_cut(packing, kFrames, kFrames - 1)));
        for (const char* name : {"out.wav", "out.flac"}) {
            SCOPED_TRACE(name);
            const auto out = dir.file(name);
            const auto result = run_orvane({in.string(), out.string(), "--overwrite"});
            ASSERT_EQ(result.status, 0) << result.err;
            EXPECT_TRUE(result.out.ends_with("Decoded: 44100 Hz, 6 ch (5.1(side)), PCM24 output\n"
                                             "Incomplete final DTS frame ignored: 1000 bytes\n"
                                             "\nConversion complete.\n"))
                << result.out;
            const Bytes bytes = read_file(out);
            if (std::string(name).ends_with(".wav")) {
                EXPECT_EQ(le32_at(bytes, 40), (kFrames - 1) * 512u * 6 * 3);
                EXPECT_EQ(le32_at(bytes, 4), bytes.size() - 8);
            } else {
                EXPECT_EQ(streaminfo_total_samples(bytes), (kFrames - 1) * 512u);
                EXPECT_EQ(run_program("flac", {"-t", "-s", out.string()}).status, 0);
            }
            EXPECT_EQ(samples_off_reference(ffmpeg_read_pcm24(dir, out), reference), 0u);

            const auto quiet = run_orvane({in.string(), out.string(), "--overwrite", "--quiet"});
            EXPECT_EQ(quiet.status, 0);
            EXPECT_EQ(quiet.out, "");
        }
    }
}

// Damage inside the stream is not a ripper's cut: the run still fails there, and the WAV left
// behind describes the frames before the damage.
TEST_F(DecodeCutFrame, CutFrameInTheMiddleStillFails) {
    for (const DtsPacking packing : {DtsPacking::Be16, DtsPacking::Le14}) {
        SCOPED_TRACE(packing_name(packing));
        const auto in = dir.file("mid.wav");
        write_file(in, carrier_wav(carried_with_cut(packing, kFrames, 4)));
        // The failed --overwrite leaves the file it was to replace as it was, and nothing beside it.
        for (const char* name : {"mid.wav.wav", "mid.wav.flac"}) {
            const auto out = dir.file(name);
            const Bytes good(70000, 0x5A);
            write_file(out, good);
            const auto result = run_orvane({in.string(), out.string(), "--overwrite"});
            EXPECT_EQ(result.status, 2);
            EXPECT_TRUE(result.err.ends_with(error_report("DTS packet rejected: Invalid data found when processing input")))
                << result.err;
            EXPECT_EQ(result.out.find("Incomplete final DTS frame"), std::string::npos);
            EXPECT_TRUE(read_file(out) == good) << name;
            EXPECT_EQ(dir.names(), (std::vector<std::string>{"mid.wav", name})) << name;
            std::filesystem::remove(out);
        }
    }
}

TEST_F(DecodeCutFrame, StreamOfOnlyACutFrameHasNoAudio) {
    const auto in = dir.file("only.wav");
    write_file(in, carrier_wav(carried_with_cut(DtsPacking::Be14, 1, 0)));
    for (const char* name : {"only-out.wav", "only-out.flac"}) {
        const auto out = dir.file(name);
        const auto result = run_orvane({in.string(), out.string()});
        EXPECT_EQ(result.status, 2);
        EXPECT_TRUE(result.err.ends_with(error_report("DTS stream contained no decodable audio frames"))) << result.err;
        EXPECT_EQ(result.out.find("Decoded: "), std::string::npos);
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

}  // namespace
}  // namespace orvane::test
