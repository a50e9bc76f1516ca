#include <gtest/gtest.h>

#include "output/track_file_name.hpp"

namespace orvane {
namespace {

TEST(TrackFileName, EveryTitleGivesOnePlainNameInTheFolder) {
    const struct {
        int number;
        std::string title;
        std::string name;
    } cases[] = {
        {1, "Intro", "01 - Intro.flac"},
        {12, "", "12.flac"},
        {3, "a/b\\c:d*e?f\"g<h>i|j\x01k\x1Fl\x7F", "03 - a_b_c_d_e_f_g_h_i_j_k_l_.flac"},
        {4, "../../etc/passwd", "04 - .._.._etc_passwd.flac"},
        {5, "..", "05.flac"},
        {6, "  Ends in dots. . .", "06 - Ends in dots.flac"},
        {7, "CON", "07 - CON.flac"},
        {8, "Caf\xC3\xA9", "08 - Caf\xC3\xA9.flac"},
        {9, std::string(199, 'x') + "\xC3\xA9", "09 - " + std::string(199, 'x') + ".flac"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(track_file_names({{c.number, c.title}}, ".flac"), std::vector<std::string>{c.name}) << c.title;
    }
}

TEST(TrackFileName, NamesDifferingInLetterCaseOnlyAreMadeDistinct) {
    EXPECT_EQ(track_file_names({{1, "Song"}, {1, "SONG"}, {1, "song"}, {2, "Song"}}, ".wav"),
              (std::vector<std::string>{"01 - Song.wav", "01 - SONG (2).wav", "01 - song (3).wav", "02 - Song.wav"}));
}

}  // namespace
}  // namespace orvane
