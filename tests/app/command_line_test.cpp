#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "app/command_line.hpp"
#include "platform/installed_name.hpp"

namespace orvane {
namespace {

std::string parse_error(const std::vector<std::string>& arguments) {
    try {
        parse_command_line(arguments);
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "";
}

TEST(ParseCommandLine, OptionsFlagsAndOperandsMixInAnyOrder) {
    const auto parsed = parse_command_line({"in.wav", "--overwrite", "out.flac", "--scan", "--quiet", "third"});
    EXPECT_EQ(parsed.action, ParseAction::Run);
    EXPECT_TRUE(parsed.options.overwrite);
    EXPECT_TRUE(parsed.options.scan);
    EXPECT_TRUE(parsed.options.quiet);
    EXPECT_FALSE(parsed.options.eac);
    EXPECT_EQ(parsed.options.operands, (std::vector<std::string>{"in.wav", "out.flac", "third"}));
}

TEST(ParseCommandLine, EacImpliesOverwriteAndQuiet) {
    const auto options = parse_command_line({"--eac", "a", "b"}).options;
    EXPECT_TRUE(options.eac && options.overwrite && options.quiet);
}

TEST(ParseCommandLine, TagOptionsTakeTheNextArgumentWhateverItIs) {
    const auto options =
        parse_command_line({"--title", "--quiet", "--artist", "A", "--artist", "B", "--year", "1999",
                            "--albumartist", "AA", "--tracktotal", "x=y", "--comment", "", "in", "out"})
            .options;
    EXPECT_EQ(options.tags.title, "--quiet");
    EXPECT_FALSE(options.quiet);
    EXPECT_EQ(options.tags.artist, "B");
    EXPECT_EQ(options.tags.date, "1999");
    EXPECT_EQ(options.tags.album_artist, "AA");
    EXPECT_EQ(options.tags.track_total, "x=y");
    EXPECT_TRUE(options.tags.comment.empty());
    EXPECT_EQ(options.operands.size(), 2u);
}

TEST(ParseCommandLine, EveryTagOptionSetsItsField) {
    const auto tags = parse_command_line({"--title", "1", "--artist", "2", "--album", "3", "--album-artist", "4",
                                          "--genre", "5", "--date", "6", "--track", "7", "--tracktotal", "8",
                                          "--disc", "9", "--disctotal", "10", "--comment", "11", "--composer", "12",
                                          "--copyright", "13"})
                          .options.tags;
    const std::vector<std::string> values = {tags.title,   tags.artist,      tags.album, tags.album_artist,
                                             tags.genre,   tags.date,        tags.track, tags.track_total,
                                             tags.disc,    tags.disc_total,  tags.comment, tags.composer,
                                             tags.copyright};
    for (std::size_t i = 0; i < values.size(); ++i) EXPECT_EQ(values[i], std::to_string(i + 1));
    EXPECT_FALSE(is_empty(tags));
    EXPECT_TRUE(is_empty(parse_command_line({"--title", ""}).options.tags));
}

TEST(ParseCommandLine, TagOptionSetsACommonFieldOrKeepsAnyOtherNameOnce) {
    const auto tags = parse_command_line({"--title", "A", "--tag", "title=B", "--tag", "Label=x=y", "--tag",
                                          "TRACKNUMBER=3/12", "--tag", "LABEL=z", "--tag", "ISRC=", "--tag",
                                          "ISRC=I", "--tag", "MOOD="})
                          .options.tags;
    EXPECT_EQ(tags.title, "B");
    EXPECT_EQ(tags.track, "3");
    EXPECT_EQ(tags.track_total, "12");
    EXPECT_EQ(tags.extra, (std::vector<std::pair<std::string, std::string>>{{"LABEL", "z"}, {"ISRC", "I"}}));

    EXPECT_EQ(parse_error({"--tag"}), "--tag requires a value");
    EXPECT_EQ(parse_error({"--tag", "LABEL"}), "--tag takes NAME=VALUE: LABEL");
    EXPECT_EQ(parse_error({"--tag", "=x"}), "--tag takes NAME=VALUE: =x");
    for (const std::string bad : {"L\tABEL=x", "LAB~=x", "Caf\xc3\xa9=x"}) {
        EXPECT_EQ(parse_error({"--tag", bad}), "tag name is not printable ASCII: --tag") << bad;
    }
    EXPECT_EQ(parse_error({"--tag", "MOOD=\xe9"}), "tag value is not valid UTF-8: --tag MOOD");
    EXPECT_EQ(parse_error({"--gapless", "flac", "--tag", "Title=x"}),
              "--title cannot be combined with --gapless: every track would get the same title");
}

TEST(ParseCommandLine, ErrorsNameTheArgumentAsTyped) {
    EXPECT_EQ(parse_error({"--title"}), "--title requires a value");
    EXPECT_EQ(parse_error({"in", "--year"}), "--year requires a value");
    EXPECT_EQ(parse_error({"--Title", "x"}), "unknown option: --Title");
    EXPECT_EQ(parse_error({"--title=x"}), "unknown option: --title=x");
    EXPECT_EQ(parse_error({"-"}), "unknown option: -");
    EXPECT_EQ(parse_error({"-qs"}), "unknown option: -qs");
    EXPECT_EQ(parse_error({"--bogus", "--version"}), "unknown option: --bogus");
    EXPECT_EQ(parse_error({"--skip-existing", "--overwrite"}), "--skip-existing cannot be combined with --overwrite");
    EXPECT_EQ(parse_error({"--eac", "--skip-existing"}), "--skip-existing cannot be combined with --eac");
    EXPECT_EQ(parse_error({"in", "out", "--cue"}), "--cue requires a value");
    EXPECT_EQ(parse_error({"--cue", "a.cue", "--gapless", "flac", "in"}), "--cue cannot be combined with --gapless");
    EXPECT_EQ(parse_error({"--scan", "in", "--cue", "a.cue"}), "--cue cannot be combined with --scan");
    EXPECT_EQ(parse_command_line({"in", "--cue", "--odd.cue", "out"}).options.cue, "--odd.cue");
    EXPECT_EQ(parse_command_line({"--gapless", "FLac", "a"}).options.gapless, OutputKind::Flac);
    EXPECT_EQ(parse_error({"--gapless", "Ogg"}), "--gapless takes flac, wav, dts or mka: Ogg");
}

TEST(ParseCommandLine, BatchJobsAndOutputFolderRefusals) {
    const auto options = parse_command_line({"--batch", "Mka", "--jobs", "3", "--output-dir", "out", "a", "b"}).options;
    EXPECT_EQ(options.batch, OutputKind::Mka);
    EXPECT_EQ(options.jobs, 3u);
    EXPECT_EQ(options.output_dir, "out");
    EXPECT_EQ(parse_command_line({"--gapless", "wav", "--jobs", "1", "a"}).options.jobs, 1u);
    EXPECT_EQ(parse_command_line({"--jobs", "2", "--cue", "s.cue", "a", "b.flac"}).options.jobs, 2u);
    EXPECT_EQ(parse_command_line({"--batch", "flac", "--title", "T", "a"}).options.tags.title, "T");
    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{"--batch", "ogg"}, "--batch takes flac, wav, dts or mka: ogg"},
        {{"--batch", "flac", "--jobs", "0"}, "--jobs takes a number of conversions at once, 1 or more: 0"},
        {{"--batch", "flac", "--jobs", "-2"}, "--jobs takes a number of conversions at once, 1 or more: -2"},
        {{"--batch", "flac", "--jobs", "99999"}, "--jobs takes a number of conversions at once, 1 or more: 99999"},
        {{"--jobs", "2", "a", "b"}, "--jobs requires --batch, --gapless or --cue"},
        {{"--output-dir", ""}, "--output-dir requires a value"},
        {{"--scan", "--output-dir", "d", "a"}, "--output-dir cannot be combined with --scan"},
        {{"--batch", "flac", "--gapless", "flac"}, "--gapless cannot be combined with --batch"},
        {{"--batch", "flac", "--eac"}, "--eac cannot be combined with --batch"},
        {{"--batch", "flac", "--scan"}, "--scan cannot be combined with --batch"},
        {{"--batch", "flac", "--cue", "s.cue"}, "--cue cannot be combined with --batch"},
        {{"--batch", "flac", "a", "b", "--tag", "TITLE=x"},
         "--title cannot be combined with --batch of several files: every file would get the same title"},
        {{"--batch", "flac", "a", "b", "--track", "1"},
         "--track cannot be combined with --batch of several files: every file would get the same track number"},
    };
    for (const auto& [arguments, message] : refused) EXPECT_EQ(parse_error(arguments), message) << arguments[1];
}

TEST(ParseCommandLine, TagValuesMustBeUtf8) {
    // Latin-1, a lone continuation byte, cut sequences, overlong forms, a surrogate, past U+10FFFF
    // (in four bytes, and with the lead bytes of the old five- and four-byte forms).
    for (const std::string bad : {"Caf\xe9", "\x80", "\xc3", "\xe2\x82", "\xc0\xaf", "\xe0\x80\xaf",
                                  "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xf8\x88\x80\x80\x80", "\xf5\x80\x80\x80"}) {
        EXPECT_EQ(parse_error({"--year", bad, "in", "out"}), "tag value is not valid UTF-8: --year") << bad;
    }
    const std::string good = "Caf\xc3\xa9 \xe2\x99\xab \xe9\x9b\xa8 \xf0\x9f\x8e\xb5 \xf4\x8f\xbf\xbf";
    EXPECT_EQ(parse_command_line({"--title", good}).options.tags.title, good);
}

TEST(ParseCommandLine, DoubleHyphenEndsTheOptions) {
    const auto options = parse_command_line({"--quiet", "--", "-x.wav", "--version", "--", "-"}).options;
    EXPECT_TRUE(options.quiet);
    EXPECT_EQ(options.operands, (std::vector<std::string>{"-x.wav", "--version", "--", "-"}));
    EXPECT_EQ(parse_command_line({"--title", "--", "a"}).options.tags.title, "--");
    EXPECT_TRUE(parse_command_line({"--skip-existing", "a", "b"}).options.skip_existing);
}

TEST(ParseCommandLine, VersionAndHelpEndParsingAtOnce) {
    EXPECT_EQ(parse_command_line({"--overwrite", "--version", "--bogus"}).action, ParseAction::ShowVersion);
    EXPECT_EQ(parse_command_line({"in", "-h", "--bogus"}).action, ParseAction::ShowUsage);
    EXPECT_EQ(parse_command_line({"--help"}).action, ParseAction::ShowUsage);
}

TEST(ParseCommandLine, EmptyArgumentIsAnOperand) {
    EXPECT_EQ(parse_command_line({""}).options.operands, std::vector<std::string>{""});
}

TEST(OutputExtension, LowerCasesTheFinalExtensionOnly) {
    EXPECT_EQ(output_extension("out.FLAC"), ".flac");
    EXPECT_EQ(output_extension("dir.x/out.Wav"), ".wav");
    EXPECT_EQ(output_extension("archive.tar.dts"), ".dts");
    EXPECT_EQ(output_extension("out.flac.bak"), ".bak");
    EXPECT_EQ(output_extension("noextension"), "");
    EXPECT_EQ(output_extension(".mka"), "");
    EXPECT_EQ(output_extension("dir/.flac"), "");
    EXPECT_EQ(output_extension(".."), "");
    EXPECT_EQ(output_extension("out."), ".");
}

TEST(UsageText, StartsAndEndsAsPrintedAndNamesTheProgramAsInstalled) {
    const std::string usage = usage_text(installed_program_name());
    EXPECT_EQ(usage.rfind("ORVANE - DTS-in-WAV / DTS-CD converter with raw DTS compatibility\n\nUsage:\n", 0), 0u);
    EXPECT_TRUE(usage.ends_with("  - Tag metadata is written to FLAC and Matroska; WAV and raw DTS are untagged.\n"));
    EXPECT_EQ(usage.find("--help"), std::string::npos);
    EXPECT_STREQ(installed_program_name(), "orvane");

    // The name on the command lines is all that differs between the platforms' texts.
    std::string windows = usage_text("orvane.exe");
    int lines = 0;
    for (std::size_t at; (at = windows.find("\n  orvane.exe ")) != std::string::npos; ++lines) windows.erase(at + 9, 4);
    EXPECT_GE(lines, 4);
    EXPECT_EQ(windows, usage);
}

}  // namespace
}  // namespace orvane
