// The pieces that make and run test inputs: WAV carriers, the process runner and the sample generator.

#include <gtest/gtest.h>

#include <string>

#include "dts/dts_sync.hpp"
#include "input/input_analysis.hpp"
#include "support/carriage.hpp"
#include "support/dts_sample.hpp"
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

std::uint64_t u64_at(const Bytes& b, std::size_t at) {
    return u32_at(b, at) | static_cast<std::uint64_t>(u32_at(b, at + 4)) << 32;
}

TEST(DtsSample, WavCarrierHeadersMatchWhatWasWritten) {
    TempDir dir;
    DtsSampleOptions options;
    options.seconds = 0.1;  // 4410 samples: 9 frames of 512
    options.lead = 3000;
    options.pad = 6;
    for (bool rf64 : {false, true}) {
        options.rf64 = rf64;
        const auto path = dir.file(rf64 ? "s64.wav" : "s.wav");
        const DtsSampleSummary summary = write_dts_sample(options, path);
        EXPECT_EQ(summary.frames, 9);
        EXPECT_EQ(summary.stream_bytes, 9u * 2048);  // DTS-CD frames as 14-bit words
        const Bytes file = read_file(path);
        ASSERT_EQ(file.size(), summary.file_bytes);
        const std::size_t data_at = rf64 ? 80 : 44;
        const std::uint64_t data_size = file.size() - data_at;
        EXPECT_EQ(data_size, 3000u + 9 * 2048 + 8);  // padding filled up to whole sample frames
        if (rf64) {
            EXPECT_EQ(id_at(file, 0), "RF64");
            EXPECT_EQ(id_at(file, 12), "ds64");
            EXPECT_EQ(u64_at(file, 20), file.size() - 8);
            EXPECT_EQ(u64_at(file, 28), data_size);
            EXPECT_EQ(u64_at(file, 36), data_size / 4);
            EXPECT_EQ(u32_at(file, 76), 0xFFFFFFFFu);
        } else {
            EXPECT_EQ(u32_at(file, 4), file.size() - 8);
            EXPECT_EQ(u32_at(file, 40), data_size);
        }
        const InputAnalysis analysis = analyse_input(path);
        EXPECT_TRUE(analysis.has_pcm_carrier);
        EXPECT_EQ(analysis.sample_rate, 44100u);
        EXPECT_EQ(analysis.packing, DtsPacking::Le14);
        EXPECT_EQ(analysis.sync_offset, 3000u);
        EXPECT_EQ(analysis.payload.size(), data_size);
    }
}

TEST(DtsSample, ToolWritesStreamsThatFfprobeAndTheScanAccept) {
    TempDir dir;
    const std::string raw = dir.file("s.dts").string();
    const ProcessResult made = run_program(MAKE_DTS_SAMPLE_PATH, {"--seconds", "0.1", "--packing", "be16", raw});
    ASSERT_EQ(made.status, 0) << made.err;
    EXPECT_NE(made.out.find("9 DTS frames"), std::string::npos) << made.out;
    const Bytes stream = read_file(raw);
    EXPECT_EQ(stream.size(), 9u * 1792);  // ffprobe wants a few frames to recognise a raw stream
    EXPECT_EQ(find_dts_sync(stream.data(), stream.size(), kInputSyncScanLimit),
              std::make_pair(DtsPacking::Be16, std::uint64_t{0}));
    const ProcessResult probe = run_program(
        "ffprobe", {"-v", "error", "-show_entries", "stream=codec_name,sample_rate,channels,channel_layout",
                    "-of", "default=nw=1", raw});
    EXPECT_EQ(probe.out, "codec_name=dts\nsample_rate=44100\nchannels=6\nchannel_layout=5.1(side)\n") << probe.err;

    const std::string wav = dir.file("s.wav").string();
    ASSERT_EQ(run_program(MAKE_DTS_SAMPLE_PATH, {"--seconds", "0.05", "--rate", "48000", "--channels", "2",
                                                 "--bitrate", "768000", "--packing", "be14", wav})
                  .status,
              0);
    const ProcessResult scan = run_orvane({"--scan", wav});
    EXPECT_EQ(scan.status, 0) << scan.err;
    EXPECT_NE(scan.out.find("Packing: 14-bit big-endian\n"), std::string::npos) << scan.out;
    EXPECT_NE(scan.out.find("48000 Hz"), std::string::npos) << scan.out;

    const ProcessResult bad_option = run_program(MAKE_DTS_SAMPLE_PATH, {"--packing", "be15", wav});
    EXPECT_EQ(bad_option.status, 2);
    EXPECT_NE(bad_option.err.find("Usage: make-dts-sample"), std::string::npos);
    const std::string refused = dir.file("refused.wav").string();
    const ProcessResult bad_layout = run_program(MAKE_DTS_SAMPLE_PATH, {"--channels", "3", refused});
    EXPECT_EQ(bad_layout.status, 1);
    EXPECT_FALSE(std::filesystem::exists(refused));  // no half-written sample left behind
}

}  // namespace
}  // namespace orvane::test
