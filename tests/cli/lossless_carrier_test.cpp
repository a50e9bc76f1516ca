// DTS-CD rips stored as FLAC or WavPack convert exactly as the WAV they were made from.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "support/carriage.hpp"
#include "support/error_text.hpp"
#include "support/lossless_encode.hpp"
#include "support/matroska_contents.hpp"
#include "support/picture_bytes.hpp"
#include "support/process_runner.hpp"
#include "support/temp_dir.hpp"
#include "support/wav_file.hpp"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

Bytes cd_carrier(DtsPacking packing) {
    return test::carrier_wav(test::carried_payload(test::cached_dts_cd_clip(12), packing, 3000, 11, 700));
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

class LosslessCarrierPacking : public ::testing::TestWithParam<DtsPacking> {};

TEST_P(LosslessCarrierPacking, EveryOperationGivesTheOutputOfTheSameWav) {
    test::TempDir dir;
    const DtsPacking packing = GetParam();
    {
        const Bytes wav = cd_carrier(packing);
        test::write_file(dir.file("in.wav"), wav);
        test::write_file(dir.file("in.flac"), test::encode_lossless(wav, test::LosslessTool::Flac));
        test::write_file(dir.file("in.wv"), test::encode_lossless(wav, test::LosslessTool::WavPack));
        for (const std::string kind : {"dts", "mka", "flac", "wav"}) {
            std::map<std::string, std::pair<Bytes, std::string>> outputs;
            for (const std::string source : {"wav", "flac", "wv"}) {
                const fs::path output = dir.file(source + "-out." + kind);
                const auto run = test::run_orvane({dir.file("in." + source).string(), output.string(), "--overwrite"});
                ASSERT_EQ(run.status, 0) << source << " to " << kind << ": " << run.err;
                Bytes bytes = test::read_file(output);
                if (kind == "mka") test::blank_volatile_elements(bytes, 0, bytes.size());
                outputs[source] = {bytes, run.out};
            }
            SCOPED_TRACE(std::string(packing_name(packing)) + " to " + kind);
            EXPECT_EQ(outputs["flac"].first, outputs["wav"].first);
            EXPECT_EQ(outputs["wv"].first, outputs["wav"].first);
            // The report names the carrier; a FLAC carrier's signature is checked and said so.
            const std::string& out = outputs["wav"].second;
            const std::string wav_line = "Input: DTS-in-WAV carrier, 44100 Hz, 16-bit, 2 ch\n";
            EXPECT_EQ(outputs["flac"].second,
                      replaced(replaced(out, wav_line, "Input: DTS-in-FLAC carrier, 44100 Hz, 16-bit, 2 ch\n"),
                               "First sync: byte 3000\n", "First sync: byte 3000\nFLAC carrier MD5 verified\n"));
            EXPECT_EQ(outputs["wv"].second, replaced(out, wav_line, "Input: DTS-in-WavPack carrier, 44100 Hz, 16-bit, 2 ch\n"));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllPackings, LosslessCarrierPacking,
                         ::testing::Values(DtsPacking::Be16, DtsPacking::Le16, DtsPacking::Be14, DtsPacking::Le14));

TEST(LosslessCarrier, CarrierTagsReachTaggedOutputsUnderTheCommandLine) {
    test::TempDir dir;
    const fs::path input = dir.file("rip.flac");
    const Bytes cover = test::png_header_only(50, 40);
    test::write_file(dir.file("cover.png"), cover);
    test::write_file(input, test::encode_lossless(cd_carrier(DtsPacking::Le14), test::LosslessTool::Flac,
                                                  {"-T", "TITLE=Ripped", "-T", "ARTIST=Band", "-T", "ISRC=GB1234567890",
                                                   "-T", "REPLAYGAIN_TRACK_GAIN=+9.00 dB",
                                                   "--picture=" + dir.file("cover.png").string()}));
    ASSERT_EQ(test::run_orvane({input.string(), dir.file("out.flac").string(), "--title", "Given"}).status, 0);
    const auto comments =
        test::run_program("metaflac", {"--no-utf8-convert", "--export-tags-to=-", dir.file("out.flac").string()}).out;
    EXPECT_EQ(comments, "TITLE=Given\nARTIST=Band\nISRC=GB1234567890\nENCODER=ORVANE 1.0.1.0\n");
    const auto picture = test::run_program("metaflac", {"--export-picture-to=-", dir.file("out.flac").string()});
    EXPECT_TRUE(Bytes(picture.out.begin(), picture.out.end()) == cover);

    ASSERT_EQ(test::run_orvane({input.string(), dir.file("out.mka").string(), "--artist", "Other"}).status, 0);
    const auto tags = test::run_program("ffprobe", {"-v", "error", "-show_entries", "format_tags", "-of",
                                                    "default=noprint_wrappers=1", dir.file("out.mka").string()});
    EXPECT_NE(tags.out.find("TAG:title=Ripped\n"), std::string::npos) << tags.out;
    EXPECT_NE(tags.out.find("TAG:ARTIST=Other\n"), std::string::npos) << tags.out;
    EXPECT_NE(tags.out.find("TAG:ISRC=GB1234567890\n"), std::string::npos) << tags.out;
    EXPECT_EQ(tags.out.find("REPLAYGAIN"), std::string::npos) << tags.out;
    EXPECT_NE(test::run_program("mkvinfo", {dir.file("out.mka").string()}).out.find("File name: cover.png\n"),
              std::string::npos);
    // Untagged outputs stay untagged: the carrier's tags are no reason to refuse them.
    EXPECT_EQ(test::run_orvane({input.string(), dir.file("out.wav").string()}).status, 0);
}

// A rip of a short DTS stream and then hours of silence compresses to almost nothing and declares its
// length: it is refused from that, before anything is decoded or the memory for it taken.
TEST(LosslessCarrier, CarriersDeclaringMoreThanAnyCdAreRefusedBeforeDecoding) {
    test::TempDir dir;
    const Bytes wav = cd_carrier(DtsPacking::Le14);
    constexpr std::uint32_t kFourHours = 4 * 3600 * 44100;
    Bytes flac = test::encode_lossless(wav, test::LosslessTool::Flac);
    flac[21] &= 0xF0;  // STREAMINFO's total sample count: the low 4 bits here and the next 4 bytes
    for (int i = 0; i < 4; ++i) flac[22 + i] = static_cast<std::uint8_t>(kFourHours >> (24 - 8 * i));
    Bytes wavpack = test::encode_lossless(wav, test::LosslessTool::WavPack);
    for (int i = 0; i < 4; ++i) wavpack[12 + i] = static_cast<std::uint8_t>(kFourHours >> (8 * i));  // first block's
    for (const auto& [name, file] : {std::pair<std::string, Bytes>{"FLAC", flac}, {"WavPack", wavpack}}) {
        test::write_file(dir.file("rip"), file);
        const auto run = test::run_orvane({"--scan", dir.file("rip").string()});
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err, test::error_report(name + " carrier decodes to more than 2 GiB: longer than any CD rip"));
    }
}

}  // namespace
}  // namespace orvane
