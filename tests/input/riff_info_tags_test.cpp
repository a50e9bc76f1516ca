#include <gtest/gtest.h>

#include "input/input_analysis.hpp"
#include "input/riff_info_tags.hpp"
#include "support/wav_file.hpp"

namespace orvane {
namespace {

using test::Bytes;

Bytes text_bytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// A LIST chunk's body: "INFO" and the entries, each padded to an even size.
Bytes info_list(const std::vector<std::pair<std::string, Bytes>>& entries) {
    Bytes body = text_bytes("INFO");
    for (const auto& [id, text] : entries) {
        body.insert(body.end(), id.begin(), id.end());
        for (int shift = 0; shift < 32; shift += 8) body.push_back(static_cast<std::uint8_t>(text.size() >> shift));
        body.insert(body.end(), text.begin(), text.end());
        if (text.size() % 2 != 0) body.push_back(0);
    }
    return body;
}

TEST(RiffInfoTags, TextIsUtf8WhenValidElseWindows1252CutAtItsFirstNul) {
    EXPECT_EQ(info_text(text_bytes("Caf\xc3\xa9")), "Caf\xc3\xa9");
    EXPECT_EQ(info_text(text_bytes("Caf\xe9")), "Caf\xc3\xa9");
    EXPECT_EQ(info_text(text_bytes("\x80 \x93q\x94 \x81")), "\xe2\x82\xac \xe2\x80\x9cq\xe2\x80\x9d \xc2\x81");
    EXPECT_EQ(info_text(text_bytes(std::string("Title\0\0", 7))), "Title");
    EXPECT_EQ(info_text(text_bytes(std::string("A\0junk", 6))), "A");
    EXPECT_EQ(info_text({}), "");
}

TEST(RiffInfoTags, KnownEntriesBecomeTagsBeforeOrAfterTheSamples) {
    const Bytes before = info_list({{"INAM", text_bytes(std::string("Song\0", 5))},
                                    {"IART", text_bytes("Band")},
                                    {"ISFT", text_bytes("Lavf59.27.100")},
                                    {"ITRK", text_bytes("3/12")},
                                    {"ICMT", {}},
                                    {"ICOP", text_bytes("(C) 1999")},
                                    {"ICMS", text_bytes("Label")}});
    const Bytes after = info_list({{"IPRD", text_bytes("Album")},
                                   {"ICRD", text_bytes("1999")},
                                   {"IGNR", text_bytes("Rock")},
                                   {"ICMT", text_bytes("Caf\xe9")},
                                   {"INAM", Bytes(50, 'x')}});  // longer than what is left of the chunk
    Bytes cut_after = after;
    cut_after.resize(after.size() - 10);
    const Bytes data = {0x7F, 0xFE, 0x80, 0x01, 0xFC, 0x3C, 0, 0};
    const auto analysis = analyse_input_bytes(test::build_wav(
        "RIFF", {{"fmt ", test::fmt_body(1, 2, 44100, 16)}, {"LIST", before}, {"data", data}, {"LIST", cut_after}}));
    const TagSet& tags = analysis.carrier_tags;
    EXPECT_EQ(tags.title, "Song");
    EXPECT_EQ(tags.artist, "Band");
    EXPECT_EQ(tags.album, "Album");
    EXPECT_EQ(tags.date, "1999");
    EXPECT_EQ(tags.genre, "Rock");
    EXPECT_EQ(tags.comment, "Caf\xc3\xa9");
    EXPECT_EQ(tags.track, "3");
    EXPECT_EQ(tags.track_total, "12");
    EXPECT_EQ(tags.copyright, "(C) 1999");
    EXPECT_EQ(tags.extra, (std::vector<std::pair<std::string, std::string>>{{"COMMISSIONED", "Label"}}));
    EXPECT_EQ(analysis.payload, data);
}

}  // namespace
}  // namespace orvane
