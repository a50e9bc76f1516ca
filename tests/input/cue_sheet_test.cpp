#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input/cue_sheet.hpp"
#include "input/sheet_file_lookup.hpp"
#include "support/error_text.hpp"

namespace orvane {
namespace {

std::span<const std::uint8_t> bytes_of(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

CueSheet parse(const std::string& text) { return parse_cue_sheet(bytes_of(text)); }

// The text as UTF-16 in either byte order, after its byte-order mark.
std::string utf16(const std::u16string& text, bool big_endian) {
    std::string bytes = big_endian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char16_t unit : text) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        bytes += big_endian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

std::u16string widened(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

const std::string kDisc =
    "REM GENRE \"Hard Rock\"\n"
    "REM DATE 1999\n"
    "REM DISCNUMBER 2\n"
    "REM TOTALDISCS 3\n"
    "REM COMMENT \"ripped\"\n"
    "CATALOG 0123456789012\n"
    "PERFORMER \"Disc Band\"\n"
    "TITLE \"Disc Title\"\n"
    "SONGWRITER \"Disc Writer\"\n"
    "FILE \"image one.wav\" WAVE\n"
    "  TRACK 01 AUDIO\n"
    "    TITLE \"Opening\"\n"
    "    ISRC ABCDE1234567\n"
    "    FLAGS DCP PRE 4CH\n"  // a flag after PRE once never ended the line
    "    FLAGS SCMS\n"
    "    INDEX 00 00:00:00\n"
    "    INDEX 01 00:02:00\n"
    "  TRACK 02 AUDIO\n"
    "    TITLE \"Second\"\n"
    "    PERFORMER \"Guest\"\n"
    "    SONGWRITER \"Writer\"\n"
    "    FLAGS DCP\n"
    "    INDEX 00 00:10:00\n"
    "FILE second.wav BINARY\n"
    "    INDEX 01 00:00:00\n"
    "    INDEX 02 00:01:74\n"
    "  TRACK 03 MODE1/2352\n"
    "    INDEX 01 01:00:00\n";

TEST(CueSheet, ReadsTextsLayoutAndTheFileOfEveryIndexPoint) {
    const CueSheet sheet = parse(kDisc);
    EXPECT_EQ(sheet.files, (std::vector<std::string>{"image one.wav", "second.wav"}));
    EXPECT_EQ(sheet.file_types, (std::vector<std::string>{"WAVE", "BINARY"}));
    EXPECT_EQ(sheet.title, "Disc Title");
    EXPECT_EQ(sheet.performer, "Disc Band");
    EXPECT_EQ(sheet.songwriter, "Disc Writer");
    EXPECT_EQ(sheet.genre, "Hard Rock");
    EXPECT_EQ(sheet.date, "1999");
    EXPECT_EQ(sheet.disc_number, "2");
    EXPECT_EQ(sheet.total_discs, "3");
    EXPECT_EQ(sheet.catalog, "0123456789012");
    EXPECT_FALSE(sheet.converted_from_windows_1252);
    ASSERT_EQ(sheet.tracks.size(), 3u);

    const CueTrack& first = sheet.tracks[0];
    EXPECT_EQ(first.number, 1);
    EXPECT_EQ(first.title, "Opening");
    EXPECT_EQ(first.isrc, "ABCDE1234567");
    EXPECT_TRUE(first.performer.empty());
    EXPECT_TRUE(first.pre_emphasis);
    EXPECT_EQ(track_start(first).frame, 150u);

    // INDEX 00 of track 2 lies in the first file, its INDEX 01 at the start of the second.
    const CueTrack& second = sheet.tracks[1];
    EXPECT_EQ(second.performer, "Guest");
    EXPECT_EQ(second.songwriter, "Writer");
    EXPECT_FALSE(second.pre_emphasis);
    ASSERT_EQ(second.indexes.size(), 3u);
    EXPECT_EQ(second.indexes[0].number, 0);
    EXPECT_EQ(second.indexes[0].file, 0u);
    EXPECT_EQ(second.indexes[0].frame, 750u);
    EXPECT_EQ(track_start(second).file, 1u);
    EXPECT_EQ(track_start(second).frame, 0u);
    EXPECT_EQ(second.indexes[2].frame, 149u);

    EXPECT_FALSE(sheet.tracks[2].audio);
    EXPECT_EQ(track_start(sheet.tracks[2]).file, 1u);
    EXPECT_EQ(track_start(sheet.tracks[2]).frame, 4500u);
}

TEST(CueSheet, ByteOrderMarkAndLineEndsDoNotChangeTheReading) {
    std::string crlf;
    for (const char c : kDisc) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    std::string cr = kDisc;
    for (char& c : cr) c = c == '\n' ? '\r' : c;
    for (const std::string& text : {"\xEF\xBB\xBF" + crlf, cr, kDisc.substr(0, kDisc.size() - 1),
                                    utf16(widened(crlf), false), utf16(widened(kDisc), true)}) {
        const CueSheet sheet = parse(text);
        ASSERT_EQ(sheet.tracks.size(), 3u);
        EXPECT_EQ(sheet.title, "Disc Title");
        EXPECT_EQ(track_start(sheet.tracks[2]).frame, 4500u);
    }
    // UTF-16 in either byte order, a character beyond the basic plane too.
    for (const bool big_endian : {false, true}) {
        const CueSheet sheet = parse(utf16(u"TITLE \"Caf\u00E9 \U0001F3B5\"\r\nFILE a.wav WAVE\r\n TRACK 01 AUDIO\r\n"
                                           u"  INDEX 01 00:00:00\r\n", big_endian));
        EXPECT_EQ(sheet.title, "Caf\xC3\xA9 \xF0\x9F\x8E\xB5");
        EXPECT_FALSE(sheet.converted_from_windows_1252);
    }
}

TEST(CueSheet, TextThatIsNotUtf8IsReadAsWindows1252) {
    // 0x80 euro, 0x9F Y with diaeresis, 0x81 unassigned, 0xE9 e acute.
    const CueSheet sheet = parse("TITLE \"\x80\x9F\x81\xE9\"\nFILE a.wav WAVE\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n");
    EXPECT_TRUE(sheet.converted_from_windows_1252);
    EXPECT_EQ(sheet.title, "\xE2\x82\xAC\xC5\xB8\xC2\x81\xC3\xA9");
    const CueSheet utf8 = parse("TITLE \"\xC3\xA9\"\nFILE a.wav WAVE\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n");
    EXPECT_FALSE(utf8.converted_from_windows_1252);
    EXPECT_EQ(utf8.title, "\xC3\xA9");
}

TEST(CueSheet, RefusesSheetsThatCannotBeUsedWithTheReason) {
    const std::string head = "FILE a.wav WAVE\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n";
    const struct {
        std::string text;
        std::string message;
    } cases[] = {
        {"TITLE \"x\"\n", "CUE sheet lists no tracks"},
        {head + " TRACK 03 AUDIO\n  INDEX 01 00:01:00\n TRACK 02 AUDIO\n  INDEX 01 00:02:00\n",
         "CUE sheet tracks are out of order: track 02 follows track 03"},
        {head + " TRACK 02 AUDIO\n  INDEX 01 00:00:00\n", "CUE sheet index points are out of order in track 02"},
        {head + " TRACK 02 AUDIO\n  INDEX 01 00:02:00\n  INDEX 00 00:01:00\n",
         "CUE sheet index points are out of order in track 02"},
        {head + " TRACK 02 AUDIO\n  INDEX 00 00:02:00\n", "CUE sheet track 02 has no INDEX 01"},
        {head + " GARBAGE here\n", "CUE sheet line 4: not understood: GARBAGE"},
        {"file a.wav WAVE\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n", "CUE sheet line 1: not understood: file"},
        {head + " TRACK 02 AUDIO\n  INDEX 01 00:01:75\n",
         "CUE sheet line 5: INDEX needs a number and a time mm:ss:ff"},
        {" TRACK 01 AUDIO\n  INDEX 01 00:00:00\n", "CUE sheet line 1: TRACK before any FILE"},
        {head + " TRACK 02\n  INDEX 01 00:01:00\n",
         "CUE sheet could not be read: it is not a valid CUE sheet"},
        {head + std::string("REM \0 x\n", 8), "CUE sheet is not text: it holds a NUL byte"},
        {utf16(widened(head) + u"REM \xD800 x\n", false), "CUE sheet is not text: its UTF-16 is malformed"},
        {utf16(widened(head), true) + "\n", "CUE sheet is not text: its UTF-16 is malformed"},
        {head + " TRACK 02 AUDIO\n  TITLE \"x\\\"\n  INDEX 01 00:01:00\n",
         "CUE sheet could not be read: it is not a valid CUE sheet"},
        {head + " TRACK 02 AUDIO 7\n  INDEX 01 00:01:00\n",
         "CUE sheet could not be read: a TRACK or INDEX line is malformed"},
        {head + " TRACK 02 AUDIO\n  INDEX 01 00:01:00 00:02:00\n",
         "CUE sheet could not be read: track 02 has a malformed INDEX line"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(test::error_message([&] { parse(c.text); }), c.message) << c.text;
        // Windows rippers end lines with CR LF: the same lines are named (UTF-16 text is not byte-edited).
        if (c.text.starts_with("\xFF\xFE") || c.text.starts_with("\xFE\xFF")) continue;
        std::string crlf;
        for (const char ch : c.text) crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
        EXPECT_EQ(test::error_message([&] { parse(crlf); }), c.message) << c.text;
    }
}

TEST(CueSheet, RecognisedByContent) {
    const struct {
        std::string text;
        bool sheet;
    } cases[] = {
        {kDisc, true},
        {"\xEF\xBB\xBF\r\n\r\nREM X\r\nTITLE \"x\"\r\n", true},
        {"CATALOG 1\n", true},
        {"  PERFORMER \"x\"\n", true},
        {"REM only\n", false},
        {"TRACK 01 AUDIO\n", true},
        {"REM X\nARRANGER \"x\"\n", true},
        {"MESSAGE \"x\"\n", true},
        {"UPC_EAN 1\nFILE a.wav WAVE\n", true},
        {"DISC_ID 1\n", true},
        {"SIZE_INFO 1\n", true},
        {"\x7F\xFE\x80\x01\xFC\x3C", false},
        {"\xFF\x1F\x00\xE8\xF1\x07\n", false},
        {"RIFF\x10\x00\x00\x00WAVEfmt ", false},
        {"FILENAME x\n", false},
        {"", false},
        {std::string("FILE a\0", 7), false},
        {utf16(u"\r\nREM X\r\nPERFORMER \"x\"\r\n", false), true},
        {utf16(u"CATALOG 1\n", true), true},
        {utf16(u"TRACK 01 AUDIO\n", false), true},
    };
    for (const auto& c : cases) EXPECT_EQ(looks_like_cue_sheet(bytes_of(c.text)), c.sheet) << c.text;
}

// The text of a FLAC of the whole image: FILE names it, the times move back by what it leaves out.
TEST(CueSheet, TextForTheImagesOutputNamesItAndKeepsEverythingElse) {
    const CueSheet sheet = parse("REM X\r\nFILE \"sub/disc.wav\" BINARY\r\n  TRACK 01 AUDIO\r\n    TITLE \"A\"\r\n"
                                 "    INDEX 01 00:00:00\r\n  TRACK 02 AUDIO\r\n    INDEX 00 01:02:03\r\n"
                                 "    INDEX 01 01:02:05");
    const std::string named = "REM X\r\nFILE \"out.flac\" WAVE\r\n  TRACK 01 AUDIO\r\n    TITLE \"A\"\r\n"
                              "    INDEX 01 00:00:00\r\n  TRACK 02 AUDIO\r\n    INDEX 00 ";
    EXPECT_EQ(cue_sheet_text_for(sheet, "out.flac", 0), named + "01:02:03\r\n    INDEX 01 01:02:05");
    EXPECT_EQ(cue_sheet_text_for(sheet, "out.flac", 4), named + "01:01:74\r\n    INDEX 01 01:02:01");
}

// A name that is not there: another letter case first, then the stem with a lossless extension;
// several alike are candidates, never a guess.
TEST(CueSheet, FileNamedByTheSheetIsFoundAsUsersKeepIt) {
    const struct {
        std::string named;
        std::vector<std::string> names;
        std::string found;
        std::vector<std::string> candidates;
    } cases[] = {
        {"IMAGE.WAV", {"image.wav", "image.flac"}, "image.wav", {}},
        {"Album.wav", {"Album.flac", "Album.cue", "Album.log"}, "Album.flac", {}},
        {"Album.wav", {"ALBUM.WV", "Other.flac"}, "ALBUM.WV", {}},
        {"Album", {"Album.flac"}, "Album.flac", {}},
        {"Album.wav", {"Album.flac", "Album.wv"}, "", {"Album.flac", "Album.wv"}},
        {"a.wav", {"A.WAV", "a.Wav"}, "", {"A.WAV", "a.Wav"}},
        {"Album.wav", {"Album.mp3", "Album 2.flac", "Album.wav.flac"}, "", {}},
    };
    for (const auto& c : cases) {
        const SheetFileMatch match = match_sheet_file(c.named, c.names);
        EXPECT_EQ(match.found, c.found) << c.named;
        EXPECT_EQ(match.candidates, c.candidates) << c.named;
    }
}

}  // namespace
}  // namespace orvane
