#include <gtest/gtest.h>

#include "common/tag_set.hpp"

namespace orvane {
namespace {

TEST(TagSet, CommonNamesOfEitherTagFormatFindTheirField) {
    TagSet tags;
    for (const auto& [name, value] : std::vector<std::pair<std::string, std::string>>{
             {"Album Artist", "V"}, {"YEAR", "1999"}, {"totaldiscs", "2"}, {"Disc", "1/3"}, {"DESCRIPTION", "c"}}) {
        EXPECT_TRUE(set_tag_by_name(tags, name, value)) << name;
    }
    EXPECT_EQ(tags.album_artist, "V");
    EXPECT_EQ(tags.date, "1999");
    EXPECT_EQ(tags.disc, "1");
    EXPECT_EQ(tags.disc_total, "2");  // a total already known stays
    EXPECT_EQ(tags.comment, "c");
    EXPECT_FALSE(set_tag_by_name(tags, "ISRC", "X"));
}

TEST(TagSet, MergedTagsTakeEveryGivenFieldAndExtraTagFromTheOverrides) {
    TagSet carrier;
    carrier.title = "Old";
    carrier.artist = "Band";
    carrier.extra = {{"ISRC", "A"}, {"LABEL", "L"}};
    TagSet given;
    given.title = "New";
    given.extra = {{"ISRC", "B"}};
    const TagSet merged = merge_tags(carrier, given);
    EXPECT_EQ(merged.title, "New");
    EXPECT_EQ(merged.artist, "Band");
    EXPECT_EQ(merged.extra, (std::vector<std::pair<std::string, std::string>>{{"LABEL", "L"}, {"ISRC", "B"}}));
    EXPECT_FALSE(is_empty(TagSet{.extra = {{"LABEL", "L"}}}));
}

}  // namespace
}  // namespace orvane
