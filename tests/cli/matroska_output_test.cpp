#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>

#include <unistd.h>

#include "decode/decoded_output.hpp"
#include "support/carriage.hpp"
#include "support/dts_clip.hpp"
#include "support/picture_bytes.hpp"
#include "support/process_runner.hpp"
#include "support/temp_dir.hpp"
#include "support/wav_file.hpp"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::run_orvane;
using test::run_program;

const test::DtsClip& cd_clip() { return test::cached_dts_cd_clip(12); }

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

struct ProbedPacket {
    long long pts = 0;
    long long size = 0;
};

// The packets as FFmpeg's Matroska demuxer reads them back.
std::vector<ProbedPacket> probe_packets(const fs::path& file) {
    const auto result = run_program("ffprobe", {"-v", "error", "-select_streams", "a:0", "-show_entries",
                                                "packet=pts,size", "-of", "csv=p=0", file.string()});
    EXPECT_EQ(result.status, 0) << result.err;
    std::vector<ProbedPacket> packets;
    std::istringstream lines(result.out);
    std::string line;
    while (std::getline(lines, line)) {
        ProbedPacket packet;
        char comma = 0;
        std::istringstream(line) >> packet.pts >> comma >> packet.size;
        packets.push_back(packet);
    }
    return packets;
}

Bytes extract_track(const test::TempDir& dir, const fs::path& file) {
    const fs::path out = dir.file("extracted.bin");
    const auto result = run_program("mkvextract", {file.string(), "tracks", "0:" + out.string()});
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    return test::read_file(out);
}

// The track as mkvmerge muxes the same input itself and mkvextract gets it back: the stream in the
// standard form of a DTS container.
Bytes mkvmerge_extraction(const test::TempDir& dir, const fs::path& input) {
    const fs::path remux = dir.file("mkvmerge.mka");
    const auto result = run_program("mkvmerge", {"-q", "-o", remux.string(), input.string()});
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    return extract_track(dir, remux);
}

// What users check a file with: mkvmerge sees the DTS track, the only one, which is the default;
// FFmpeg decodes it without a complaint.
void expect_players_find_the_track(const fs::path& file) {
    const auto identified = run_program("mkvmerge", {"-i", file.string()});
    EXPECT_TRUE(contains(identified.out, "Track ID 0: audio (DTS)\n")) << identified.out;
    const auto info = run_program("mkvinfo", {file.string()});
    ASSERT_EQ(info.status, 0) << info.out << info.err;
    // Matroska's flag defaults to set; mkvinfo shows it only when stored, and then cleared.
    EXPECT_FALSE(contains(info.out, "\"Default track\" flag")) << info.out;
    EXPECT_TRUE(contains(run_program("mkvmerge", {"-J", file.string()}).out, "\"default_track\": true"));
    const auto decoded = run_program("ffmpeg", {"-v", "error", "-i", file.string(), "-map", "0:a", "-f", "null", "-"});
    EXPECT_EQ(decoded.status, 0);
    EXPECT_EQ(decoded.err, "") << file;
}

struct MatroskaOutputTest : ::testing::Test {
    test::TempDir dir;
    fs::path input = dir.file("in.wav");
    fs::path output = dir.file("out.mka");

    // A carrier with a lead of silence before the carried clip and `padding` zero bytes behind it.
    Bytes write_carrier(DtsPacking packing, std::size_t lead = 3000, std::size_t padding = 0) {
        const Bytes carried = test::carry_clip(cd_clip(), packing);
        Bytes payload(lead, 0x00);
        payload.insert(payload.end(), carried.begin(), carried.end());
        payload.resize(payload.size() + padding, 0x00);
        test::write_file(input, test::carrier_wav(payload));
        return carried;
    }
};

TEST_F(MatroskaOutputTest, EveryCarriageIsMuxedBigEndianWithSampleTimestamps) {
    for (const DtsPacking packing : {DtsPacking::Be16, DtsPacking::Le16, DtsPacking::Be14, DtsPacking::Le14}) {
        SCOPED_TRACE(packing_name(packing));
        // The carrier's padding after the last frame goes into no block.
        const Bytes carried = write_carrier(packing, 3000, 1000);
        const auto run = run_orvane({input.string(), output.string(), "--overwrite"});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(contains(run.out,
                             "Operation: lossless DTS -> Matroska mux\n"
                             "DTS frames: 12\n"
                             "Matroska timestamps: 44100 Hz sample clock -> muxer time base 1/1000, 512 samples/frame\n"
                             "Duration: 0.13932 seconds\n"
                             "DTS bitstream copied without audio re-encoding\n"))
            << run.out;

        const auto info = run_program("mkvinfo", {output.string()});
        ASSERT_EQ(info.status, 0) << info.out << info.err;
        EXPECT_TRUE(contains(info.out, "Codec ID: A_DTS")) << info.out;
        EXPECT_TRUE(contains(info.out, "Channels: 6")) << info.out;
        EXPECT_TRUE(contains(info.out, "Sampling frequency: 44100")) << info.out;
        expect_players_find_the_track(output);

        // The blocks hold the frames 16-bit big-endian, as mkvmerge's own mux of the carrier does:
        // 14-bit words repacked to the frames' declared size, swapped words swapped back.
        const Bytes extracted = extract_track(dir, output);
        EXPECT_TRUE(extracted == cd_clip().joined());
        EXPECT_TRUE(extracted == mkvmerge_extraction(dir, input));

        const auto packets = probe_packets(output);
        ASSERT_EQ(packets.size(), 12u);
        const auto frame_size = static_cast<long long>(test::kDtsCdFrameBytes);
        for (std::size_t n = 0; n < packets.size(); ++n) {
            // n frames of 512 samples at 44100 Hz, in milliseconds.
            EXPECT_EQ(packets[n].pts, std::llround(512.0 * static_cast<double>(n) * 1000.0 / 44100.0)) << n;
            EXPECT_EQ(packets[n].size, frame_size) << n;
        }
    }
}

TEST_F(MatroskaOutputTest, Iec61937BurstsGiveEveryOutputTheFramesAlone) {
    struct Burst {
        int sample_rate;
        int bit_rate;
        bool big_endian;
    };
    // 1792-byte and 2012-byte frames, each in a 2048-byte burst behind its preamble, then stuffing.
    for (const Burst burst : {Burst{44100, test::kDtsCdBitRate, false}, Burst{48000, 1509000, true}}) {
        SCOPED_TRACE(burst.sample_rate);
        const test::DtsClip clip = test::encode_dts_clip(
            {.sample_rate = burst.sample_rate, .channels = 6, .bit_rate = burst.bit_rate, .frames = 6});
        const Bytes bursts = test::spdif_bursts(clip, burst.big_endian);
        ASSERT_EQ(bursts.size(), 6u * 2048);
        test::write_file(input, test::carrier_wav(bursts, static_cast<std::uint32_t>(burst.sample_rate)));
        const Bytes original = clip.joined();

        auto run = run_orvane({input.string(), output.string(), "--overwrite"});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(contains(run.out, "DTS frames: 6\n")) << run.out;
        EXPECT_EQ(extract_track(dir, output), original);
        const auto packets = probe_packets(output);
        ASSERT_EQ(packets.size(), 6u);
        for (std::size_t n = 0; n < packets.size(); ++n) {
            EXPECT_EQ(packets[n].size, static_cast<long long>(clip.frames[n].size())) << n;
        }

        const fs::path dts = dir.file("out.dts");
        run = run_orvane({input.string(), dts.string(), "--overwrite"});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(test::read_file(dts), original);

        const std::vector<float> reference = test::ffmpeg_reference_decode(dir, original);
        ASSERT_EQ(reference.size(), 6u * 512 * 6);
        for (const char* decoded : {"out.flac", "out.wav"}) {
            run = run_orvane({input.string(), dir.file(decoded).string(), "--overwrite"});
            ASSERT_EQ(run.status, 0) << run.err;
            EXPECT_EQ(test::samples_off_reference(test::ffmpeg_read_pcm24(dir, dir.file(decoded)), reference), 0u)
                << decoded;
        }
    }
}

// A CD track ends on a sector boundary, inside a frame: the .mka keeps the whole frames, as the
// decode and the scan count them, and says what it left out.
TEST_F(MatroskaOutputTest, ATrackCutInsideAFrameKeepsItsWholeFrames) {
    for (const DtsPacking packing : {DtsPacking::Le14, DtsPacking::Le16, DtsPacking::Be16}) {
        SCOPED_TRACE(packing_name(packing));
        const Bytes carried = test::carry_clip(cd_clip(), packing);
        constexpr std::size_t kSector = 2352;
        const std::size_t cut = carried.size() / kSector * kSector;
        const std::size_t tail = cut % (carried.size() / 12);  // carried bytes of the cut frame
        ASSERT_GT(tail, 0u);
        test::write_file(input, test::carrier_wav(Bytes(carried.begin(), carried.begin() + cut)));
        const auto run = run_orvane({input.string(), output.string(), "--overwrite"});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(contains(run.out, "DTS frames: 11\n")) << run.out;
        EXPECT_TRUE(contains(run.out, "DTS bitstream copied without audio re-encoding\n"
                                      "Incomplete final DTS frame ignored: " + std::to_string(tail) + " bytes\n"))
            << run.out;
        EXPECT_TRUE(contains(run_orvane({input.string(), "--scan"}).out, "(11 frames)\n"));
        expect_players_find_the_track(output);
        const Bytes whole = cd_clip().joined();
        const Bytes extracted = extract_track(dir, output);
        EXPECT_TRUE(extracted == Bytes(whole.begin(), whole.begin() + 11 * test::kDtsCdFrameBytes));
        EXPECT_TRUE(extracted == mkvmerge_extraction(dir, input));

        EXPECT_EQ(run_orvane({input.string(), output.string(), "--overwrite", "--quiet"}).out, "");
    }
}

TEST_F(MatroskaOutputTest, TagsAtStreamAndFileLevelAndTheProgramAsEncoder) {
    write_carrier(DtsPacking::Le14, 0);
    const auto run = run_orvane({input.string(), output.string(), "--title", "Tïtle", "--artist", "Ar", "--album",
                                 "Al", "--albumartist", "AA", "--genre", "Ge", "--year", "1999", "--track", "3",
                                 "--tracktotal", "9", "--disc", "1", "--disctotal", "2", "--comment", "Co",
                                 "--composer", "Cp", "--copyright", "Cr"});
    ASSERT_EQ(run.status, 0) << run.err;

    const auto probe = run_program("ffprobe", {"-v", "error", "-show_entries", "stream_tags:format_tags", "-of",
                                               "flat", output.string()});
    ASSERT_EQ(probe.status, 0) << probe.err;
    for (const std::string level : {"streams.stream.0.tags.", "format.tags."}) {
        for (const std::string entry :
             {"title=\"Tïtle\"", "ARTIST=\"Ar\"", "ALBUM=\"Al\"", "ALBUM_ARTIST=\"AA\"", "GENRE=\"Ge\"",
              "DATE=\"1999\"", "track=\"3\"", "TRACKTOTAL=\"9\"", "DISC=\"1\"", "DISCTOTAL=\"2\"",
              "COMMENT=\"Co\"", "COMPOSER=\"Cp\"", "COPYRIGHT=\"Cr\""}) {
            EXPECT_TRUE(contains(probe.out, level + entry + "\n")) << level + entry << "\n" << probe.out;
        }
    }
    EXPECT_TRUE(contains(probe.out, "format.tags.ENCODER=\"ORVANE 1.0.1.0\"\n")) << probe.out;
    EXPECT_FALSE(contains(probe.out, "streams.stream.0.tags.ENCODER")) << probe.out;

    // The file-level tag as mkvtoolnix reads it: not libavformat's own name.
    const auto info = run_program("mkvinfo", {output.string()});
    ASSERT_EQ(info.status, 0);
    EXPECT_TRUE(contains(info.out, "Name: ENCODER\n|   + String: ORVANE 1.0.1.0\n")) << info.out;
    EXPECT_TRUE(contains(info.out, "Name: TRACKTOTAL\n|   + String: 9\n")) << info.out;
    EXPECT_TRUE(contains(info.out, "Name: DISCTOTAL\n|   + String: 2\n")) << info.out;
}

TEST_F(MatroskaOutputTest, CoverIsAnAttachmentBesideAnyTag) {
    const Bytes carried = write_carrier(DtsPacking::Be16, 0);
    const Bytes png = test::png_header_only(300, 200);
    test::write_file(dir.file("art.png"), png);
    const auto run = run_orvane({input.string(), output.string(), "--picture", dir.file("art.png").string(), "--tag",
                                 "label=L", "--tag", "ARTIST=A"});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto info = run_program("mkvinfo", {output.string()});
    EXPECT_TRUE(contains(info.out, "File name: cover.png\n|  + MIME type: image/png\n")) << info.out;
    EXPECT_TRUE(contains(info.out, "Name: LABEL\n|   + String: L\n")) << info.out;
    EXPECT_TRUE(contains(info.out, "Name: ARTIST\n|   + String: A\n")) << info.out;
    const auto extracted = run_program("mkvextract", {output.string(), "attachments", "1:" + dir.file("x").string()});
    EXPECT_EQ(extracted.status, 0) << extracted.out;
    EXPECT_EQ(test::read_file(dir.file("x")), png);
    EXPECT_EQ(extract_track(dir, output), carried);  // the audio is still the first track
    expect_players_find_the_track(output);
}

TEST_F(MatroskaOutputTest, WithoutTagsOnlyTheEncoderIsSetAndQuietPrintsNothing) {
    write_carrier(DtsPacking::Be16, 0);
    const auto run = run_orvane({input.string(), output.string(), "--quiet"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    const auto probe =
        run_program("ffprobe", {"-v", "error", "-show_entries", "format_tags", "-of", "flat", output.string()});
    EXPECT_EQ(probe.out, "format.tags.ENCODER=\"ORVANE 1.0.1.0\"\n");
}

TEST_F(MatroskaOutputTest, AnExistingOutputIsKeptUnlessOverwriting) {
    write_carrier(DtsPacking::Be16, 0);
    test::write_file(output, Bytes{'o', 'l', 'd'});
    auto run = run_orvane({input.string(), output.string()});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(contains(run.err, "Error: output file already exists (use --overwrite)\n")) << run.err;
    EXPECT_EQ(test::read_file(output), (Bytes{'o', 'l', 'd'}));

    // A first frame the decoder refuses: the probe fails before the output is touched.
    Bytes junk{0x7F, 0xFE, 0x80, 0x01, 0x00, 0x00};
    junk.resize(400, 0x11);
    test::write_file(input, junk);
    run = run_orvane({input.string(), output.string(), "--overwrite"});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(contains(run.err, "Error: DTS probe packet rejected: ")) << run.err;
    EXPECT_EQ(test::read_file(output), (Bytes{'o', 'l', 'd'}));
}

TEST_F(MatroskaOutputTest, AFailedWriteLeavesNoOutputBehind) {
    write_carrier(DtsPacking::Le14, 0);
    // Wine takes a link to a device for the device, which no program can delete.
    if (fs::exists("/dev/full") && !test::testing_windows_build()) {
        // A full disk, here a link to the full device: written through, as a device is, and kept.
        fs::create_symlink("/dev/full", output);
        const auto run = run_orvane({input.string(), output.string(), "--overwrite"});
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(contains(run.err, "Error: unable to finalise Matroska output: No space left on device\n"))
            << run.err;
        EXPECT_EQ(fs::read_symlink(output), "/dev/full");
    }

    // An empty directory in the output's place is refused by the system and left where it is.
    const fs::path directory = dir.file("dir.mka");
    fs::create_directory(directory);
    auto refused = run_orvane({input.string(), directory.string(), "--overwrite"});
    EXPECT_EQ(refused.status, 2);
    const std::string refusal = test::testing_windows_build() ? "Permission denied" : "Is a directory";
    EXPECT_TRUE(contains(refused.err, "Error: unable to create Matroska output: " + refusal + "\n")) << refused.err;
    EXPECT_TRUE(fs::is_directory(directory));

    const fs::path missing = dir.file("no-such-dir") / "out.mka";
    auto run = run_orvane({input.string(), missing.string()});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(contains(run.err, "Error: unable to create Matroska output: No such file or directory\n")) << run.err;
    EXPECT_FALSE(fs::exists(missing));

    // Permission bits do not stop the superuser, so this case needs an ordinary user.
    if (::geteuid() != 0) {
        const fs::path locked = dir.file("locked");
        fs::create_directory(locked);
        fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
        run = run_orvane({input.string(), (locked / "out.mka").string()});
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(contains(run.err, "Error: unable to create Matroska output: Permission denied\n")) << run.err;
        EXPECT_FALSE(fs::exists(locked / "out.mka"));
    }
}

}  // namespace
}  // namespace orvane
