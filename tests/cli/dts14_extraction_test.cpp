#include <gtest/gtest.h>

#include <filesystem>

#include "support/carriage.hpp"
#include "support/dts_clip.hpp"
#include "support/process_runner.hpp"
#include "support/temp_dir.hpp"
#include "support/wav_file.hpp"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::run_orvane;
using test::run_program;

const test::DtsClip& cd_clip() { return test::cached_dts_cd_clip(11); }

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

Bytes carried_payload(DtsPacking packing, std::size_t lead, std::size_t frames, std::size_t extra) {
    return test::carried_payload(cd_clip(), packing, lead, frames, extra);
}

struct Dts14Test : ::testing::Test {
    test::TempDir dir;
    fs::path input = dir.file("in.wav");
    fs::path output = dir.file("out.dts");
};

TEST_F(Dts14Test, CarrierFramesAreWrittenAsCarriedAndDecodeIndependently) {
    for (const DtsPacking packing : {DtsPacking::Le14, DtsPacking::Be14}) {
        SCOPED_TRACE(packing_name(packing));
        Bytes payload = carried_payload(packing, 3000, 10, 0);
        const std::size_t frames_end = payload.size();
        payload.resize(frames_end + 1000, 0x00);  // carrier padding after the last frame
        test::write_file(input, test::carrier_wav(payload));
        const auto run = run_orvane({input.string(), output.string(), "--overwrite"});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(contains(run.out, std::string("Packing: ") + packing_name(packing) + "\nFirst sync: byte 3000\n"))
            << run.out;
        EXPECT_TRUE(contains(run.out, std::string("DTS frames: 10\n14-bit DTS extracted without repacking (") +
                                          packing_name(packing) +
                                          ")\nCarrier tail ignored: 1000 bytes\n\nConversion complete.\n"))
            << run.out;
        // The frames byte for byte in their 14-bit form; the silence before the first sync word and the
        // padding after the last frame are gone.
        EXPECT_EQ(test::read_file(output), Bytes(payload.begin() + 3000, payload.begin() + frames_end));

        const auto probe = run_program("ffprobe", {"-v", "error", "-count_packets", "-show_entries",
                                                   "stream=codec_name,channels,sample_rate,nb_read_packets", "-of",
                                                   "flat", output.string()});
        EXPECT_EQ(probe.status, 0) << probe.err;
        EXPECT_TRUE(contains(probe.out, "codec_name=\"dts\"")) << probe.out;
        EXPECT_TRUE(contains(probe.out, "channels=6")) << probe.out;
        EXPECT_TRUE(contains(probe.out, "nb_read_packets=\"10\"")) << probe.out;

        const auto decoded = run_program("dcadec", {"-o", "wav", output.string()});
        EXPECT_EQ(decoded.status, 0);
        EXPECT_TRUE(contains(decoded.err, "10 frames decoded")) << decoded.err;
    }
}

TEST_F(Dts14Test, CutLastFrameIsLeftOutAsTheDecodeLeavesItAndQuietPrintsNothing) {
    // A CD track's end cuts a frame: the file holds the whole frames, and every count agrees.
    const Bytes payload = carried_payload(DtsPacking::Le14, 0, 10, 1000);
    const Bytes frames(payload.begin(), payload.end() - 1000);
    test::write_file(input, test::carrier_wav(payload));
    auto run = run_orvane({input.string(), output.string()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(contains(run.out, "DTS frames: 10\n14-bit DTS extracted without repacking (14-bit little-endian)\n"
                                  "Incomplete final DTS frame ignored: 1000 bytes\n\n"))
        << run.out;
    EXPECT_TRUE(test::read_file(output) == frames);
    EXPECT_TRUE(contains(run_orvane({input.string(), "--scan"}).out, "(10 frames)\n"));
    const auto decoded = run_program("ffmpeg", {"-v", "error", "-i", output.string(), "-f", "null", "-"});
    EXPECT_EQ(decoded.status, 0);
    EXPECT_EQ(decoded.err, "");

    // A raw stream says it too, as its decode does.
    const fs::path raw = dir.file("in.dts");
    test::write_file(raw, payload);
    run = run_orvane({raw.string(), output.string(), "--overwrite"});
    EXPECT_TRUE(contains(run.out, "Operation: lossless DTS bitstream extraction\n"
                                  "Incomplete final DTS frame ignored: 1000 bytes\n\n"))
        << run.out;
    EXPECT_TRUE(test::read_file(output) == frames);

    run = run_orvane({input.string(), output.string(), "--overwrite", "--quiet"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(test::read_file(output) == frames);
}

TEST_F(Dts14Test, RawFourteenBitStreamIsWrittenWithoutStatusLines) {
    const Bytes payload = carried_payload(DtsPacking::Be14, 5, 4, 0);
    const fs::path raw = dir.file("in.dts");
    test::write_file(raw, payload);
    const auto run = run_orvane({raw.string(), output.string()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_FALSE(contains(run.out, "DTS frames:")) << run.out;
    EXPECT_FALSE(contains(run.out, "extracted without repacking")) << run.out;
    EXPECT_EQ(test::read_file(output), Bytes(payload.begin() + 5, payload.end()));
}

TEST_F(Dts14Test, SingleFrameIsRefusedAndNothingIsWritten) {
    test::write_file(input, test::carrier_wav(carried_payload(DtsPacking::Le14, 0, 1, 0)));
    const auto run = run_orvane({input.string(), output.string()});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err,
              "Error: implausibly short 14-bit DTS extraction (fewer than 2 frames)\n"
              "No output file should be trusted if conversion was interrupted.\n");
    EXPECT_FALSE(fs::exists(output));
}

}  // namespace
}  // namespace orvane
