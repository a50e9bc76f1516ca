// End-to-end runs of the binary with .flac output.

#include <gtest/gtest.h>

#include <filesystem>

#include "decode/decoded_output.hpp"
#include "dts/dts_packing.hpp"
#include "support/carriage.hpp"
#include "support/dts_clip.hpp"
#include "support/picture_bytes.hpp"
#include "support/process_runner.hpp"
#include "support/temp_dir.hpp"
#include "support/wav_file.hpp"

namespace orvane::test {
namespace {

constexpr int kFrames = 12;

class DecodeFlac : public ::testing::Test {
protected:
    const DtsClip* clip = &cached_dts_cd_clip(kFrames);
    TempDir dir;
};


TEST_F(DecodeFlac, EveryCarriageGivesAValidTaggedFileOfTheDecodedSamples) {
    const std::vector<float> reference = ffmpeg_reference_decode(dir, clip->joined());
    ASSERT_EQ(reference.size(), kFrames * 512u * 6);
    for (const DtsPacking packing : {DtsPacking::Be16, DtsPacking::Le16, DtsPacking::Be14, DtsPacking::Le14}) {
        SCOPED_TRACE(packing_name(packing));
        const auto in = dir.file("in.wav");
        write_file(in, carrier_wav(carry_clip(*clip, packing)));
        const auto out = dir.file("out.Flac");
        // Options in an order of their own; the comments come out in the fixed key order.
        const auto result = run_orvane({"--copyright", "(c) Me", in.string(), "--year", "2001", "--title", "A = B",
                                        "--genre", "", out.string(), "--album-artist", "Band", "--overwrite"});
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_TRUE(result.out.ends_with(
            "Operation: DTS decode -> multichannel FLAC\nDecoded: 44100 Hz, 6 ch (5.1(side)), PCM24 output\n"
            "\nConversion complete.\n"))
            << result.out;

        const auto test = run_program("flac", {"-t", "-s", out.string()});
        EXPECT_EQ(test.status, 0) << test.err;
        const auto tags = run_program("metaflac", {"--no-utf8-convert", "--export-tags-to=-", out.string()});
        EXPECT_EQ(tags.out, "TITLE=A = B\nALBUMARTIST=Band\nDATE=2001\nCOPYRIGHT=(c) Me\nENCODER=ORVANE 1.0.1.0\n");
        const auto vendor = run_program("metaflac", {"--show-vendor-tag", out.string()});
        EXPECT_EQ(vendor.out, "ORVANE 1.0.1.0 - Arvensa DTS-in-WAV / DTS-CD Converter\n");
        const auto info = run_program("metaflac", {"--show-total-samples", "--show-sample-rate", "--show-channels",
                                                   "--show-bps", out.string()});
        EXPECT_EQ(info.out, std::to_string(kFrames * 512) + "\n44100\n6\n24\n");
        const Bytes flac = read_file(out);
        EXPECT_EQ(streaminfo_total_samples(flac), kFrames * 512u);
        EXPECT_EQ(flac[42], 0x84);  // the comment block is the last metadata block

        EXPECT_EQ(samples_off_reference(ffmpeg_read_pcm24(dir, out), reference), 0u);
    }
}

// The tags of a WAV rip's INFO list, under those given, and a cover, as the flac tools read them.
TEST_F(DecodeFlac, CoverAnyTagAndTheRipsInfoListReadBack) {
    const Bytes info = {'I', 'N', 'F', 'O', 'I', 'N', 'A', 'M', 4, 0, 0, 0, 'O', 'l', 'd', 0,
                        'I', 'A', 'R', 'T', 4, 0, 0, 0, 'B', 'a', 'n', 'd', 'I', 'C', 'M', 'T', 4, 0, 0, 0,
                        'C', 'a', 'f', 0xE9};
    const auto in = dir.file("in.wav");
    write_file(in, build_wav("RIFF", {{"fmt ", fmt_body(1, 2, 44100, 16)},
                                      {"data", carry_clip(*clip, DtsPacking::Le14)},
                                      {"LIST", info}}));
    const Bytes jpeg = jpeg_header_only(640, 480);
    write_file(dir.file("front.jpg"), jpeg);
    const auto out = dir.file("out.flac");
    const auto result = run_orvane({in.string(), out.string(), "--quiet", "--tag", "Title=New", "--picture",
                                    dir.file("front.jpg").string(), "--tag", "LABEL=Label"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(run_program("metaflac", {"--no-utf8-convert", "--export-tags-to=-", out.string()}).out,
              "TITLE=New\nARTIST=Band\nCOMMENT=Caf\xc3\xa9\nLABEL=Label\nENCODER=ORVANE 1.0.1.0\n");
    const auto picture = run_program("metaflac", {"--list", "--block-type=PICTURE", out.string()});
    const std::vector<std::string> lines = {"type: 3 (Cover (front))", "MIME type: image/jpeg", "width: 640",
                                            "height: 480", "depth: 24", "data length: " + std::to_string(jpeg.size())};
    for (const std::string& line : lines) {
        EXPECT_NE(picture.out.find("  " + line + "\n"), std::string::npos) << line << "\n" << picture.out;
    }
    const auto exported = run_program("metaflac", {"--export-picture-to=-", out.string()});
    EXPECT_EQ(Bytes(exported.out.begin(), exported.out.end()), jpeg);
    EXPECT_EQ(run_program("flac", {"-t", "-s", out.string()}).status, 0);
}

TEST_F(DecodeFlac, StreamLongerThanOneEncoderFrameEndsWithAShortOne) {
    // 2 x 4608 + 512 samples: two whole encoder frames and a short last one.
    DtsClipSpec spec;
    spec.sample_rate = 48000;
    spec.channels = 2;
    spec.frames = 19;
    const DtsClip stereo = encode_dts_clip(spec);
    const auto in = dir.file("stereo.dts");
    write_file(in, stereo.joined());
    const auto out = dir.file("stereo.flac");
    const auto result = run_orvane({in.string(), out.string(), "--quiet"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(run_program("flac", {"-t", "-s", out.string()}).status, 0);
    EXPECT_EQ(streaminfo_total_samples(read_file(out)), 19u * 512);
    const auto tags = run_program("metaflac", {"--no-utf8-convert", "--export-tags-to=-", out.string()});
    EXPECT_EQ(tags.out, "ENCODER=ORVANE 1.0.1.0\n");
    EXPECT_EQ(samples_off_reference(ffmpeg_read_pcm24(dir, out), ffmpeg_reference_decode(dir, stereo.joined())), 0u);
}

}  // namespace
}  // namespace orvane::test
