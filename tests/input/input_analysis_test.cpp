#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include <sys/stat.h>

#include "input/input_analysis.hpp"
#include "support/synthetic_frames.hpp"
#include "support/temp_dir.hpp"
#include "support/wav_file.hpp"
#include "support/error_text.hpp"

namespace orvane {
namespace {

using test::Bytes;
using test::WavChunk;

const Bytes kSync = {0x7F, 0xFE, 0x80, 0x01, 0xFC, 0x3C};

std::string analysis_error(const Bytes& file) {
    return test::error_message([&] { analyse_input_bytes(file); });
}

Bytes pcm_fmt(std::uint16_t tag = 1, std::uint16_t channels = 2, std::uint32_t rate = 44100,
              std::uint16_t bits = 16) {
    return test::fmt_body(tag, channels, rate, bits);
}

TEST(AnalyseInput, WavCarrierReportsItsFormatAndTheDataBodyAsPayload) {
    Bytes data(3000, 0);
    data.insert(data.end(), kSync.begin(), kSync.end());
    data.resize(4000, 0x11);
    const auto analysis = analyse_input_bytes(test::build_wav(
        "RIFF", {{"LIST", Bytes(7, 'x')}, {"fmt ", pcm_fmt(1, 1, 48000, 24)}, {"data", data}, {"data", kSync}}));
    EXPECT_TRUE(analysis.is_wav_carrier);
    EXPECT_EQ(analysis.sample_rate, 48000u);
    EXPECT_EQ(analysis.channels, 1u);
    EXPECT_EQ(analysis.bits_per_sample, 24u);
    EXPECT_EQ(analysis.packing, DtsPacking::Be16);
    EXPECT_EQ(analysis.sync_offset, 3000u);
    EXPECT_EQ(analysis.payload, data);
}

TEST(AnalyseInput, OversizedDataChunkIsCutAtTheEndOfTheFile) {
    Bytes data = kSync;
    data.resize(100, 0x22);
    Bytes trailing_chunk = {'L', 'I', 'S', 'T', 2, 0, 0, 0, 'a', 'b'};
    for (const std::string riff : {"RIFF", "RF64"}) {
        Bytes file = test::build_wav(riff, {{"ds64", test::ds64_body(0, 0, 0)},
                                            {"fmt ", pcm_fmt()},
                                            {"data", data, 0xFFFFFFFFu}});
        file.insert(file.end(), trailing_chunk.begin(), trailing_chunk.end());
        const auto analysis = analyse_input_bytes(file);
        Bytes expected = data;
        expected.insert(expected.end(), trailing_chunk.begin(), trailing_chunk.end());
        EXPECT_EQ(analysis.payload, expected) << riff;
    }
}

TEST(AnalyseInput, OddSizedChunksAreFollowedByAPadByte) {
    const auto analysis =
        analyse_input_bytes(test::build_wav("RIFF", {{"junk", Bytes(5, 1)}, {"fmt ", pcm_fmt()}, {"data", kSync}}));
    EXPECT_EQ(analysis.payload, kSync);
}

TEST(AnalyseInput, ExtensibleFormatIsAcceptedWhateverItsSubFormat) {
    Bytes extensible = pcm_fmt(0xFFFE);
    extensible.resize(40, 0xEE);
    EXPECT_NO_THROW(analyse_input_bytes(test::build_wav("RIFF", {{"fmt ", extensible}, {"data", kSync}})));
}

TEST(AnalyseInput, CarrierFailuresCarryTheirMessages) {
    const std::string invalid = "invalid or unsupported WAV/RF64 file";
    Bytes short_riff = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 0, 0, 0, 0};
    EXPECT_EQ(analysis_error(short_riff), invalid);
    EXPECT_EQ(analysis_error(test::build_wav("RIFF", {{"data", kSync}, {"fmt ", pcm_fmt()}})), invalid);
    EXPECT_EQ(analysis_error(test::build_wav("RIFF", {{"fmt ", Bytes(14, 1)}, {"data", kSync}})), invalid);
    EXPECT_EQ(analysis_error(test::build_wav("RF64", {{"fmt ", pcm_fmt()}})), invalid);
    EXPECT_EQ(analysis_error(test::build_wav("RIFF", {{"fmt ", pcm_fmt(3)}, {"data", kSync}})),
              "WAV carrier is not PCM/Extensible PCM");
    // The last "fmt " chunk before the data wins, but every one of them is checked.
    EXPECT_EQ(analysis_error(test::build_wav("RIFF", {{"fmt ", pcm_fmt(3)}, {"fmt ", pcm_fmt()}, {"data", kSync}})),
              "WAV carrier is not PCM/Extensible PCM");
    EXPECT_EQ(analysis_error(test::build_wav("RIFF", {{"fmt ", pcm_fmt()}, {"data", {}}})),
              "input contains no audio data");
    EXPECT_EQ(analysis_error(test::build_wav("RIFF", {{"fmt ", pcm_fmt()}, {"data", Bytes(5000, 0)}})),
              "no valid DTS sync word was detected");
}

TEST(AnalyseInput, AnythingElseIsARawStream) {
    EXPECT_EQ(analysis_error({}), "input contains no audio data");

    Bytes avi = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I', ' '};
    avi.insert(avi.end(), kSync.begin(), kSync.end());
    const auto analysis = analyse_input_bytes(avi);
    EXPECT_FALSE(analysis.is_wav_carrier);
    EXPECT_EQ(analysis.sync_offset, 12u);
    EXPECT_EQ(analysis.payload, avi);
    EXPECT_EQ(analysis.sample_rate, 0u);
    EXPECT_EQ(analysis.channels, 0u);
    EXPECT_EQ(analysis.bits_per_sample, 0u);

    EXPECT_EQ(analysis_error(Bytes(100, 0x7F)), "no valid DTS sync word was detected");
}

TEST(AnalyseInput, ReadsFilesAndRefusesWhatCannotBeRead) {
    test::TempDir dir;
    Bytes raw = test::synthetic_core_frame(512);
    test::write_file(dir.file("in.dts"), raw);
    EXPECT_EQ(analyse_input(dir.file("in.dts")).payload, raw);

    EXPECT_EQ(test::error_message([&] { analyse_input(dir.file("missing.wav")); }), "unable to open input file");
    EXPECT_EQ(test::error_message([&] { analyse_input(dir.path); }), "unable to read input file");
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    EXPECT_EQ(test::error_message([&] { analyse_input(dir.file("fifo")); }), "unable to read input file");
}

}  // namespace
}  // namespace orvane
