#include "app/gapless_plan.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/error_text.hpp"
#include "support/temp_dir.hpp"

namespace orvane {
namespace {

namespace fs = std::filesystem;

std::span<const std::uint8_t> bytes_of(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::vector<std::string> numbers(const std::vector<TagSet>& tags) {
    std::vector<std::string> out;
    for (const TagSet& t : tags) out.push_back(t.track + "/" + t.track_total);
    return out;
}

// --track numbers the first track, the total is the last one's unless given; anything but a plain
// number is refused.
TEST(GaplessPlan, TrackTagsCountOnFromTheFirstNumber) {
    struct Case {
        std::string track, total;
        std::vector<std::string> expected;
    };
    for (const Case& c : std::vector<Case>{{"", "", {"1/3", "2/3", "3/3"}},
                                           {"7", "", {"7/9", "8/9", "9/9"}},
                                           {"2", "12", {"2/12", "3/12", "4/12"}}}) {
        TagSet album;
        album.album = "A";
        album.track = c.track;
        album.track_total = c.total;
        const std::vector<TagSet> tags = track_tags(album, 3);
        EXPECT_EQ(numbers(tags), c.expected) << c.track;
        EXPECT_EQ(tags[2].album, "A");
    }
    for (const std::string bad : {"x", "3/12", "1234567890"}) {
        TagSet album;
        album.track = bad;
        EXPECT_EQ(test::error_message([&] { track_tags(album, 2); }),
                  "--track with --gapless takes the first track's number: " + bad);
    }
}

TEST(GaplessPlan, OperandsAreOneTrackEachWithItsOutputBesideIt) {
    TagSet tags;
    tags.track = "5";
    const GaplessPlan plan = plan_from_operands({"cd/one.wav", "two.dtswav"}, OutputKind::Mka, tags);
    EXPECT_TRUE(plan.track_per_carrier);
    EXPECT_EQ(plan.carriers, (std::vector<fs::path>{"cd/one.wav", "two.dtswav"}));
    EXPECT_EQ(plan.starts, (std::vector<std::pair<std::size_t, std::uint64_t>>{{0, 0}, {1, 0}}));
    ASSERT_EQ(plan.tracks.size(), 2u);
    EXPECT_EQ(plan.tracks[0].path, fs::path("cd/one.mka"));
    EXPECT_EQ(plan.tracks[1].path, fs::path("two.mka"));
    EXPECT_EQ(plan.tracks[1].tags.track + "/" + plan.tracks[1].tags.track_total, "6/6");
    EXPECT_EQ(plan.track_labels[1], "track 2 of 2 (two.dtswav)");
    EXPECT_EQ(plan.carrier_labels, plan.track_labels);
    EXPECT_EQ(plan.carrier_headings[0], "Track 1: cd/one.wav");
    EXPECT_TRUE(plan.notes.empty());
}

// The sheet's audio tracks from the files they use, in sheet order; a data track and a hidden
// pregap are noted; command-line tags replace the sheet's, --track renumbering.
TEST(GaplessPlan, SheetTracksAreCutFromTheImagesTheyUse) {
    test::TempDir dir;
    for (const char* image : {"a.wav", "b.bin"}) test::write_file(dir.file(image), {1});
    const std::string text =
        "PERFORMER \"Band\"\nTITLE \"Album\"\n"
        "FILE \"unused.wav\" WAVE\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n"
        "FILE \"a.wav\" WAVE\n  TRACK 02 AUDIO\n    TITLE \"One\"\n    INDEX 01 00:02:00\n"
        "  TRACK 03 AUDIO\n    INDEX 01 01:00:00\n"
        "FILE \"b.bin\" BINARY\n  TRACK 04 AUDIO\n    TITLE \"Far\"\n    INDEX 01 00:00:05\n";
    const fs::path sheet = dir.file("disc.cue");
    TagSet tags;
    tags.artist = "Cli";
    tags.track = "10";
    const GaplessPlan plan = plan_from_sheet(sheet, bytes_of(text), OutputKind::Flac, tags);

    EXPECT_FALSE(plan.track_per_carrier);
    EXPECT_EQ(plan.carriers, (std::vector<fs::path>{dir.file("a.wav"), dir.file("b.bin")}));
    EXPECT_EQ(plan.raw_cd_audio, (std::vector<bool>{false, true}));
    EXPECT_EQ(plan.first_carrier, "image file " + dir.file("a.wav").string());
    EXPECT_EQ(plan.starts, (std::vector<std::pair<std::size_t, std::uint64_t>>{{0, 150}, {0, 4500}, {1, 5}}));
    EXPECT_EQ(plan.notes, (std::vector<std::string>{
                              "Data track 01 skipped",
                              "Audio before track 02's INDEX 01 (a hidden pregap) is kept at the start of track 02"}));
    ASSERT_EQ(plan.tracks.size(), 3u);
    EXPECT_EQ(plan.tracks[0].path, dir.file("02 - One.flac"));
    EXPECT_EQ(plan.tracks[1].path, dir.file("03.flac"));
    EXPECT_EQ(plan.track_labels[2], "track 04 (04 - Far.flac)");
    EXPECT_EQ(plan.tracks[2].tags.title, "Far");
    EXPECT_EQ(plan.tracks[2].tags.album, "Album");
    EXPECT_EQ(plan.tracks[2].tags.artist, "Cli");
    EXPECT_EQ(plan.tracks[2].tags.track + "/" + plan.tracks[2].tags.track_total, "12/12");
    EXPECT_EQ(plan.other_inputs, std::vector<fs::path>{sheet});

    const auto refused = [&](const std::string& sheet_text) {
        return test::error_message([&] { plan_from_sheet(sheet, bytes_of(sheet_text), OutputKind::Wav, TagSet{}); });
    };
    EXPECT_EQ(refused("FILE \"a.wav\" WAVE\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n"),
              "CUE sheet lists no audio tracks");
    EXPECT_EQ(refused("FILE \"gone.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"),
              "image file not found: " + dir.file("gone.wav").string());
}

}  // namespace
}  // namespace orvane
