// End-to-end runs of --cue: a disc image and its sheet convert into one FLAC or Matroska file that
// carries the track list (a CUESHEET block, chapters) and the disc's tags, its audio unchanged.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "decode/decoded_output.hpp"
#include "support/carriage.hpp"
#include "support/dts_clip.hpp"
#include "support/process_runner.hpp"
#include "support/temp_dir.hpp"
#include "support/wav_file.hpp"

namespace orvane::test {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kLead = 600;      // silence before the first frame
constexpr std::size_t kFrame = 2048;    // a 14-bit carried frame of 512 samples
constexpr std::size_t kSector = 2352;   // one CD frame of the carrier

// Three tracks; the second with a pregap and an index 2, every point but the first inside a frame.
const std::string kSheet =
    "CATALOG 1234567890123\nREM GENRE Jazz\nREM DATE 1999\nREM DISCNUMBER 2\nREM TOTALDISCS 3\n"
    "PERFORMER \"The Band\"\nTITLE \"The Album\"\nFILE \"disc.wav\" WAVE\n"
    "  TRACK 01 AUDIO\n    TITLE \"One\"\n    INDEX 01 00:00:00\n"
    "  TRACK 02 AUDIO\n    TITLE \"Two\"\n    ISRC ABCDE1234567\n"
    "    INDEX 00 00:00:03\n    INDEX 01 00:00:04\n    INDEX 02 00:00:05\n"
    "  TRACK 03 AUDIO\n    TITLE \"Three\"\n    INDEX 00 00:00:07\n    INDEX 01 00:00:08\n";

// Output samples at CD frame f: the frames before its byte and its share of the frame it falls in
// (decoded outputs), or the frames that start before it (Matroska, which keeps frames whole).
std::uint64_t samples_at(std::size_t f, bool whole_frames) {
    const std::size_t into = f * kSector - kLead;
    if (whole_frames) return (into + kFrame - 1) / kFrame * 512;
    return into / kFrame * 512 + (into % kFrame * 512 * 2 + kFrame) / (2 * kFrame);
}

class CueTrackList : public ::testing::Test {
protected:
    TempDir dir;
    fs::path image = dir.file("disc.wav");
    fs::path sheet = dir.file("disc.cue");

    void SetUp() override {
        write_file(image, carrier_wav(carried_payload(cached_dts_cd_clip(12), DtsPacking::Le14, kLead, 11, 500)));
        write_sheet(kSheet);
    }
    void write_sheet(const std::string& text) const { write_file(sheet, Bytes(text.begin(), text.end())); }
};

TEST_F(CueTrackList, FlacCarriesTheSheetAsCuesheetAndTagsWithTheSameAudio) {
    const fs::path out = dir.file("disc.flac");
    const auto result = run_orvane({image.string(), out.string(), "--cue", sheet.string(), "--date", "2001"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("\nTrack list: 3 tracks from the CUE sheet, as a FLAC CUESHEET block\n"), std::string::npos);
    ASSERT_EQ(run_orvane({image.string(), dir.file("plain.flac").string(), "--quiet"}).status, 0);
    EXPECT_TRUE(ffmpeg_read_pcm24(dir, out) == ffmpeg_read_pcm24(dir, dir.file("plain.flac")));

    // Offsets off the CD frame grid: a non-CD sheet, its offsets in samples.
    const auto cuesheet = run_program("metaflac", {"--export-cuesheet-to=-", out.string()});
    ASSERT_EQ(cuesheet.status, 0) << cuesheet.err;
    const auto at = [](std::size_t f) { return std::to_string(samples_at(f, false)); };
    EXPECT_EQ(cuesheet.out, "CATALOG 1234567890123\nFILE \"" + out.string() + "\" FLAC\n"
                            "  TRACK 01 AUDIO\n    INDEX 01 0\n"
                            "  TRACK 02 AUDIO\n    ISRC ABCDE1234567\n    INDEX 00 " + at(3) + "\n    INDEX 01 " +
                                at(4) + "\n    INDEX 02 " + at(5) + "\n"
                            "  TRACK 03 AUDIO\n    INDEX 00 " + at(7) + "\n    INDEX 01 " + at(8) + "\n"
                            "REM FLAC__lead-in 0\nREM FLAC__lead-out 255 " + std::to_string(11 * 512) + "\n");
    // The split of the same sheet cuts at the same samples.
    ASSERT_EQ(run_orvane({"--quiet", "--gapless", "flac", sheet.string()}).status, 0);
    EXPECT_EQ(streaminfo_total_samples(read_file(dir.file("01 - One.flac"))), samples_at(4, false));
    EXPECT_EQ(streaminfo_total_samples(read_file(dir.file("02 - Two.flac"))), samples_at(8, false) - samples_at(4, false));
    const auto tags = run_program("metaflac", {"--no-utf8-convert", "--export-tags-to=-", out.string()});
    for (const std::string tag : {"ALBUM=The Album", "ALBUMARTIST=The Band", "ARTIST=The Band", "GENRE=Jazz",
                                  "DATE=2001", "DISCNUMBER=2", "DISCTOTAL=3"}) {
        EXPECT_NE(tags.out.find(tag + "\n"), std::string::npos) << tags.out;
    }
}

TEST_F(CueTrackList, MatroskaCarriesOneChapterPerTrackWithTheSameFrames) {
    const fs::path out = dir.file("disc.mka");
    const auto result = run_orvane({image.string(), out.string(), "--cue", sheet.string(), "--quiet"});
    ASSERT_EQ(result.status, 0) << result.err;
    ASSERT_EQ(run_orvane({image.string(), dir.file("plain.mka").string(), "--quiet"}).status, 0);
    const auto frames = [&](const fs::path& file) {
        const fs::path dts = dir.file(file.stem().string() + ".dts");
        EXPECT_EQ(run_program("ffmpeg", {"-v", "error", "-y", "-i", file.string(), "-c", "copy", dts.string()}).status, 0);
        return read_file(dts);
    };
    EXPECT_TRUE(frames(out) == frames(dir.file("plain.mka")));

    // Chapters from each track's index 1 (the first from 0) to the next, the last to the end of the
    // whole frames (Matroska leaves the cut-off last frame out); in ns.
    const auto ns = [](std::uint64_t samples) { return std::to_string((samples * 1000000000 + 22050) / 44100); };
    const auto chapters = run_program("ffprobe", {"-v", "error", "-show_entries", "chapter=start,end:chapter_tags=title",
                                                  "-of", "csv=p=0", out.string()});
    EXPECT_EQ(chapters.out, "0," + ns(samples_at(4, true)) + ",One\n" + ns(samples_at(4, true)) + "," +
                                ns(samples_at(8, true)) + ",Two\n" + ns(samples_at(8, true)) + "," + ns(11 * 512) +
                                ",Three\n");
    // The split of the same sheet gives its first track the frames before the second chapter.
    ASSERT_EQ(run_orvane({"--quiet", "--gapless", "mka", sheet.string()}).status, 0);
    const auto first = run_program("ffprobe", {"-v", "error", "-count_packets", "-show_entries", "stream=nb_read_packets",
                                               "-of", "csv=p=0", dir.file("01 - One.mka").string()});
    EXPECT_EQ(first.out, std::to_string(samples_at(4, true) / 512) + "\n");
    const auto info = run_program("mkvinfo", {out.string()});
    for (const std::string title : {"One", "Two", "Three"}) {
        EXPECT_NE(info.out.find("Chapter string: " + title + "\n"), std::string::npos) << info.out;
    }
    const auto tags = run_program("ffprobe", {"-v", "error", "-show_entries", "format_tags=album,disc", "-of",
                                              "csv=p=0", out.string()});
    EXPECT_EQ(tags.out, "The Album,2\n");
}

// A raw CD audio image (BINARY) places its points as the WAV image does; a Windows-1252 sheet's
// titles arrive as UTF-8; a data track is left out with a line; audio before track 1 (a hidden
// pregap) is in its chapter.
TEST_F(CueTrackList, RawImageWindows1252SheetAndDataTrack) {
    const Bytes payload = carried_payload(cached_dts_cd_clip(12), DtsPacking::Le14, kLead, 11, 500);
    write_file(dir.file("disc.bin"), payload);
    std::string text = kSheet + "  TRACK 04 MODE1/2352\n    INDEX 01 00:00:09\n";
    text.replace(text.find("\"disc.wav\" WAVE"), 15, "\"disc.bin\" BINARY");
    text.replace(text.find("Three"), 5, "Caf\xE9");
    text.replace(text.find("INDEX 01 00:00:00"), 17, "INDEX 01 00:00:01");
    write_sheet(text);
    const fs::path out = dir.file("disc.mka");
    const auto result = run_orvane({dir.file("disc.bin").string(), out.string(), "--cue", sheet.string()});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("\nCUE sheet is not UTF-8: its text was read as Windows-1252\nData track 04 skipped\n"),
              std::string::npos) << result.out;
    const auto chapters = run_program("ffprobe", {"-v", "error", "-show_entries", "chapter=start:chapter_tags=title",
                                                  "-of", "csv=p=0", out.string()});
    EXPECT_EQ(chapters.out, "0,One\n58049887,Two\n104489796,Caf\xC3\xA9\n");
}

TEST_F(CueTrackList, SheetsThatDoNotFitTheRunAreRefusedBeforeAnyOutputExists) {
    write_file(dir.file("other.wav"), read_file(image));
    write_file(dir.file("raw.dts"), cached_dts_cd_clip(12).joined());
    const std::string two_files = kSheet + "FILE \"other.wav\" WAVE\n  TRACK 04 AUDIO\n    INDEX 01 00:00:00\n";
    std::string raw_sheet = kSheet;
    raw_sheet.replace(raw_sheet.find("disc.wav"), 8, "raw.dts");
    const struct {
        std::string sheet;
        std::string input;
        std::string output;
        std::string error;
    } cases[] = {
        {kSheet, "disc.wav", "out.dts", "--cue is supported for FLAC or Matroska output only"},
        {kSheet, "disc.wav", "out.wav", "--cue is supported for FLAC or Matroska output only"},
        {kSheet, "other.wav", "out.flac", sheet.string() + " is the sheet of another file: disc.wav"},
        {two_files, "disc.wav", "out.flac", sheet.string() + " names 2 files; --cue takes the sheet of one image, the input file"},
        {kSheet + "  TRACK 04 AUDIO\n    INDEX 01 00:00:11\n", "disc.wav", "out.mka",
         "track 4 index 1 lies beyond the end of the image"},
        {raw_sheet, "raw.dts", "out.flac", "CUE sheet positions need a PCM carrier image (a WAV, FLAC or WavPack file), not a raw DTS stream"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        write_sheet(c.sheet);
        const auto result = run_orvane({dir.file(c.input).string(), dir.file(c.output).string(), "--cue", sheet.string()});
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.err, "Error: " + c.error + "\nNo output file should be trusted if conversion was interrupted.\n");
        EXPECT_FALSE(fs::exists(dir.file(c.output)));
    }
}

}  // namespace
}  // namespace orvane::test
