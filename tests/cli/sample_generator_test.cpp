// The pieces that make and run test inputs: WAV carriers, the process runner and the sample generator.

#include <gtest/gtest.h>

#include <string>

#include "support/carriage.hpp"
#include "support/dts_clip.hpp"
#include "support/process_runner.hpp"
#include "support/temp_dir.hpp"
#include "support/wav_file.hpp"

namespace orvane::test {
namespace {

std::uint32_t u32_at(const Bytes& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

std::string id_at(const Bytes& b, std::size_t at) { return std::string(b.begin() + at, b.begin() + at + 4); }

TEST(ProcessRunner, CapturesBothStreamsAndTheStatus) {
    // Far more than a pipe buffer on both streams at once: a runner reading one after the other would hang.
    const ProcessResult big = run_program(
        "sh", {"-c", "head -c 300000 /dev/zero | tr '\\0' o; head -c 200000 /dev/zero | tr '\\0' e >&2; exit 3"});
    EXPECT_EQ(big.status, 3);
    EXPECT_EQ(big.out, std::string(300000, 'o'));
    EXPECT_EQ(big.err, std::string(200000, 'e'));

    const ProcessResult args = run_program("printf", {"%s|", "a b", "", "$HOME"});
    EXPECT_EQ(args.status, 0);
    EXPECT_EQ(args.out, "a b||$HOME|");  // no shell: nothing split or expanded

    EXPECT_EQ(run_program("cat", {}).out, "");  // standard input is empty, not inherited
    EXPECT_EQ(run_program("sh", {"-c", "kill -TERM $$"}).status, 128 + 15);
    EXPECT_EQ(run_program("/nonexistent/program", {}).status, 127);
}

TEST(WavFile, ChunksArePaddedAndSizesMayLie) {
    const Bytes wav = build_wav("RIFF", {{"fmt ", fmt_body(1, 2, 44100, 16), std::nullopt},
                                         {"odd ", Bytes{1, 2, 3}, std::nullopt},
                                         {"data", Bytes{9, 8, 7, 6}, 1000u}});
    ASSERT_EQ(wav.size(), 12u + 24 + 12 + 12);
    EXPECT_EQ(id_at(wav, 0), "RIFF");
    EXPECT_EQ(u32_at(wav, 4), wav.size() - 8);
    EXPECT_EQ(id_at(wav, 8), "WAVE");
    EXPECT_EQ(u32_at(wav, 16), 16u);
    EXPECT_EQ(u32_at(wav, 28), 44100u * 4);  // byte rate
    EXPECT_EQ(id_at(wav, 36), "odd ");
    EXPECT_EQ(u32_at(wav, 40), 3u);
    EXPECT_EQ(wav[47], 0);  // pad byte
    EXPECT_EQ(id_at(wav, 48), "data");
    EXPECT_EQ(u32_at(wav, 52), 1000u);

    EXPECT_EQ(u32_at(build_wav("RIFF", {}, 7u), 4), 7u);
    EXPECT_EQ(u32_at(build_wav("RF64", {}), 4), 0xFFFFFFFFu);
    EXPECT_EQ(fmt_body(0xFFFE, 2, 48000, 24).size(), 40u);
}

TEST(WavFile, CarriersAreReadByFfprobe) {
    TempDir dir;
    const Bytes payload = carry_clip(encode_dts_cd_clip(2), DtsPacking::Le14);
    for (bool rf64 : {false, true}) {
        const auto path = dir.file(rf64 ? "c.rf64.wav" : "c.wav");
        write_file(path, carrier_wav(payload, 44100, rf64));
        const ProcessResult probe = run_program(
            "ffprobe", {"-v", "error", "-show_entries", "stream=codec_name,channels,sample_rate,duration_ts",
                        "-of", "default=nw=1", path.string()});
        EXPECT_EQ(probe.status, 0) << probe.err;
        // Two 2048-byte frames are 1024 stereo 16-bit sample frames; for RF64 the size comes from "ds64".
        EXPECT_EQ(probe.out, "codec_name=pcm_s16le\nsample_rate=44100\nchannels=2\nduration_ts=1024\n") << rf64;
    }
}

}  // namespace
}  // namespace orvane::test
