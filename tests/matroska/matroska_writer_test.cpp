#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "matroska/matroska_writer.hpp"
#include "support/temp_dir.hpp"

namespace orvane {
namespace {

std::vector<std::pair<std::string, std::string>> entries_of(const AVDictionary* metadata) {
    std::vector<std::pair<std::string, std::string>> entries;
    const AVDictionaryEntry* entry = nullptr;
    while ((entry = av_dict_get(metadata, "", entry, AV_DICT_IGNORE_SUFFIX)) != nullptr) {
        entries.emplace_back(entry->key, entry->value);
    }
    return entries;
}

struct Dictionary {
    AVDictionary* metadata = nullptr;
    ~Dictionary() { av_dict_free(&metadata); }
};

TEST(SetMatroskaTags, WritesThePresentFieldsUnderTheirKeysInTableOrder) {
    TagSet tags;
    tags.copyright = "Cr";
    tags.title = "Tïtle";
    tags.disc_total = "2";
    tags.track_total = "9";
    tags.album_artist = "AA";
    Dictionary dictionary;
    av_dict_set(&dictionary.metadata, "title", "old", 0);
    set_matroska_tags(&dictionary.metadata, tags);
    const std::vector<std::pair<std::string, std::string>> expected{
        {"title", "Tïtle"}, {"album_artist", "AA"}, {"TRACKTOTAL", "9"}, {"DISCTOTAL", "2"}, {"copyright", "Cr"}};
    EXPECT_EQ(entries_of(dictionary.metadata), expected);

    TagSet all{"t", "a", "al", "aa", "g", "d", "tr", "tt", "di", "dt", "c", "co", "cr"};
    Dictionary full;
    set_matroska_tags(&full.metadata, all);
    const std::vector<std::pair<std::string, std::string>> every{
        {"title", "t"}, {"artist", "a"},   {"album", "al"},      {"album_artist", "aa"}, {"genre", "g"},
        {"date", "d"},  {"track", "tr"},   {"TRACKTOTAL", "tt"}, {"disc", "di"},         {"DISCTOTAL", "dt"},
        {"comment", "c"}, {"composer", "co"}, {"copyright", "cr"}};
    EXPECT_EQ(entries_of(full.metadata), every);

    Dictionary none;
    set_matroska_tags(&none.metadata, TagSet{});
    EXPECT_EQ(none.metadata, nullptr);
}

TEST(MuxMatroska, ExistingOutputIsRefusedBeforeTheStreamIsCut) {
    test::TempDir dir;
    const auto output = dir.file("out.mka");
    test::write_file(output, {'o', 'l', 'd'});
    InputAnalysis analysis;
    analysis.payload = {0x7F, 0xFE, 0x80, 0x01, 0x00, 0x00};  // no decodable frame
    analysis.packing = DtsPacking::Be16;
    try {
        std::ostringstream report;
        mux_matroska(file_source(analysis), TrackOutputs{{{output}}}, OutputSettings{OutputKind::Mka}, report);
        FAIL() << "no error";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "output file already exists (use --overwrite)");
    }
    EXPECT_EQ(test::read_file(output), (test::Bytes{'o', 'l', 'd'}));
}

}  // namespace
}  // namespace orvane
