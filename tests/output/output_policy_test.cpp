#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "output/output_policy.hpp"
#include "support/temp_dir.hpp"
#include "support/error_text.hpp"

namespace orvane {
namespace {

namespace fs = std::filesystem;

TEST(OverwriteRule, RefusesAnyExistingEntryUnlessOverwriting) {
    test::TempDir dir;
    const fs::path file = dir.file("out.dts");
    test::write_file(file, {1});
    const fs::path directory = dir.file("sub.flac");
    fs::create_directory(directory);
    const fs::path dangling = dir.file("dangling.wav");
    fs::create_symlink(dir.file("missing"), dangling);

    for (const fs::path& existing : {file, directory}) {
        EXPECT_EQ(test::error_message([&] { apply_overwrite_rule(existing, false); }),
                  "output file already exists (use --overwrite)");
        EXPECT_NO_THROW(apply_overwrite_rule(existing, true));
    }
    EXPECT_NO_THROW(apply_overwrite_rule(dangling, false));
    EXPECT_NO_THROW(apply_overwrite_rule(dir.file("new.mka"), false));
}

TEST(VerifyOutput, NeedsAnExistingNonEmptyFile) {
    test::TempDir dir;
    EXPECT_EQ(test::error_message([&] { verify_output(dir.file("absent.flac")); }),
              "conversion completed without creating the requested output file");
    test::write_file(dir.file("empty.flac"), {});
    EXPECT_EQ(test::error_message([&] { verify_output(dir.file("empty.flac")); }),
              "requested output file is empty or unreadable");
    test::write_file(dir.file("full.flac"), {1, 2});
    EXPECT_NO_THROW(verify_output(dir.file("full.flac")));
}

TEST(OutputIsNotInput, RecognisesEverySpellingOfTheSameFile) {
    test::TempDir dir;
    const fs::path input = dir.file("rip.wav");
    test::write_file(input, {1, 2, 3});
    fs::create_symlink(input, dir.file("link.flac"));
    fs::create_hard_link(input, dir.file("hard.dts"));
    fs::create_directory(dir.file("sub"));

    const std::string refused = "output file must not be the input file";
    EXPECT_EQ(test::error_message([&] { ensure_output_is_not_input(input, input); }), refused);
    EXPECT_EQ(test::error_message([&] { ensure_output_is_not_input(input, dir.path / "sub" / ".." / "rip.wav"); }), refused);
    EXPECT_EQ(test::error_message([&] { ensure_output_is_not_input(input, dir.file("link.flac")); }), refused);
    EXPECT_EQ(test::error_message([&] { ensure_output_is_not_input(input, dir.file("hard.dts")); }), refused);

    test::write_file(dir.file("other.wav"), {1, 2, 3});
    EXPECT_NO_THROW(ensure_output_is_not_input(input, dir.file("other.wav")));
    EXPECT_NO_THROW(ensure_output_is_not_input(input, dir.file("not-yet.flac")));
    EXPECT_NO_THROW(ensure_output_is_not_input(dir.file("no-input"), dir.file("not-yet.flac")));
}

}  // namespace
}  // namespace orvane
