#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "app/command_line.hpp"
#include "support/carriage.hpp"
#include "support/dts_clip.hpp"
#include "support/picture_bytes.hpp"
#include "support/process_runner.hpp"
#include "support/synthetic_frames.hpp"
#include "support/temp_dir.hpp"
#include "support/wav_file.hpp"
#include "support/error_text.hpp"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::run_orvane;

const std::string kBanner =
    "ORVANE 1.0.1.0 - Arvensa DTS-in-WAV / DTS-CD Converter\nCopyright (C) 2026 the ORVANE developers\n\n";
using test::error_report;

Bytes three_frames() {
    Bytes frames;
    for (int i = 0; i < 3; ++i) test::append(frames, test::synthetic_core_frame(1000));
    return frames;
}

struct DriverTest : ::testing::Test {
    test::TempDir dir;
    fs::path carrier = dir.file("in.wav");
    Bytes frames = three_frames();
    void SetUp() override {
        Bytes data = frames;
        data.resize(data.size() + 5880, 0);
        test::write_file(carrier, test::carrier_wav(data));
    }
};

TEST_F(DriverTest, NoArgumentsPrintsUsageWithStatusOne) {
    const auto result = run_orvane({});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, usage_text(test::tested_program_name()));
    EXPECT_EQ(result.err, "");
}

TEST_F(DriverTest, HelpAndVersionEndTheRunWithoutBanner) {
    for (const auto& args : {std::vector<std::string>{"-h"}, {"--overwrite", "--help", "--bogus"}}) {
        const auto result = run_orvane(args);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out, usage_text(test::tested_program_name()));
    }
    const auto version = run_orvane({"in.wav", "--quiet", "--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "ORVANE 1.0.1.0\n");

    const auto bad = run_orvane({"--bogus", "--version"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.out, "");
    EXPECT_EQ(bad.err, error_report("unknown option: --bogus"));
}

TEST_F(DriverTest, OperandErrorsComeAfterTheBanner) {
    auto result = run_orvane({"--overwrite"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, kBanner);
    EXPECT_EQ(result.err, error_report("no input file specified"));

    result = run_orvane({"--quiet"});
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, error_report("no input file specified"));

    EXPECT_EQ(run_orvane({"--eac"}).err, error_report("no input file specified"));
    EXPECT_EQ(run_orvane({"--eac", carrier.string()}).err,
              error_report("--eac requires exactly one input file and one output file"));
    EXPECT_EQ(run_orvane({"--eac", carrier.string(), "a.dts", "b.dts"}).err,
              error_report("--eac requires exactly one input file and one output file"));
    EXPECT_EQ(run_orvane({"--title"}).err, error_report("--title requires a value"));
}

// What a shell makes of `orvane --overwrite *.wav`: refused before any file is read or written.
TEST_F(DriverTest, MoreFilesThanOneRunTakesAreRefused) {
    const Bytes rip = test::read_file(carrier);
    const fs::path second = dir.file("02 b.wav");
    test::write_file(second, rip);
    for (const auto& args : {std::vector<std::string>{"--overwrite", carrier.string(), second.string(), "c.wav"},
                             {"--scan", carrier.string(), second.string(), "c.wav"},
                             {carrier.string(), "o.flac", "--title", "--artist", "Some Band"}}) {
        const auto result = run_orvane(args);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.out, kBanner);
        EXPECT_EQ(result.err.rfind("Error: too many files: 3 given; one run converts one input file into one output "
                                   "file (--gapless converts the tracks of a disc together, --batch each file on its own)\n", 0), 0u) << result.err;
    }
    EXPECT_EQ(test::read_file(second), rip);
    EXPECT_FALSE(fs::exists("o.flac"));
}

// A folder's worth of files: each converted on its own, a damaged one named and counted without
// stopping the others, the same outputs whatever number of conversions run at once.
TEST_F(DriverTest, BatchConvertsEveryFileItCanAndCountsTheRest) {
    const Bytes rip = test::carrier_wav(test::cached_dts_cd_clip(12).joined());
    const fs::path a = dir.file("a.wav"), b = dir.file("b.wav"), c = dir.file("c.WAV");
    test::write_file(a, rip);
    test::write_file(b, Bytes(5000, 7));
    test::write_file(c, rip);
    auto result = run_orvane({"--quiet", "--batch", "FLAC", a.string(), b.string(), c.string()});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, a.string() + ": converted\n" + c.string() + ": converted\n2 converted, 1 failed, 0 skipped\n");
    EXPECT_EQ(result.err, b.string() + ": failed: no valid DTS sync word was detected\n");
    EXPECT_EQ(test::run_program("flac", {"-t", "-s", dir.file("c.flac").string()}).status, 0);
    EXPECT_FALSE(fs::exists(dir.file("b.flac")));

    result = run_orvane({"--batch", "flac", "--skip-existing", a.string(), c.string()});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, kBanner + "File 1 of 2: " + a.string() + "\nOutput exists, skipped: " +
                              dir.file("a.flac").string() + "\n" + a.string() + ": skipped\n\nFile 2 of 2: " +
                              c.string() + "\nOutput exists, skipped: " + dir.file("c.flac").string() + "\n" +
                              c.string() + ": skipped\n\n0 converted, 0 failed, 2 skipped\n");

    for (const char* jobs : {"1", "2"}) {
        const fs::path folder = dir.file(std::string("jobs") + jobs);
        result = run_orvane({"--quiet", "--batch", "flac", "--jobs", jobs, "--output-dir", folder.string(), a.string(),
                             c.string()});
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(test::read_file(folder / "a.flac"), test::read_file(dir.file("a.flac")));
        EXPECT_EQ(test::read_file(folder / "c.flac"), test::read_file(dir.file("c.flac")));
    }
}

// Ctrl-C reaches every conversion running: none leaves anything behind, and the run ends as interrupted.
TEST_F(DriverTest, BatchInterruptionStopsEveryConversion) {
    if (test::testing_windows_build()) GTEST_SKIP() << "POSIX signals";
    const Bytes second = test::cached_dts_cd_clip(86).joined();
    Bytes minute;
    for (int i = 0; i < 60; ++i) minute.insert(minute.end(), second.begin(), second.end());
    const fs::path a = dir.file("a.wav"), b = dir.file("b.wav");
    test::write_file(a, test::carrier_wav(minute));
    test::write_file(b, test::carrier_wav(minute));
    const auto result = run_orvane({"--quiet", "--batch", "flac", "--jobs", "2", a.string(), b.string()}, [&](int pid) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (std::size_t grown = 0; grown < 2 && std::chrono::steady_clock::now() < deadline;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            std::error_code ignored;
            grown = 0;
            for (const auto& entry : fs::directory_iterator(dir.path, ignored)) {
                grown += entry.path().extension() == ".part" && entry.file_size(ignored) > 50000;
            }
        }
        ::kill(pid, SIGINT);
    });
    EXPECT_EQ(result.signal, SIGINT);
    EXPECT_EQ(result.out, "0 converted, 2 failed, 0 skipped\n");
    EXPECT_EQ(result.err, a.string() + ": failed: interrupted\n" + b.string() + ": failed: interrupted\n" +
                              error_report("interrupted"));
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"a.wav", "b.wav", "in.wav"}));
}

// Outputs that would replace an input or each other are refused before any file is read.
TEST_F(DriverTest, BatchCollisionsAreRefusedBeforeAnyWork) {
    const std::string in = carrier.string(), flac = dir.file("in.flac").string(), dts = dir.file("in.dts").string();
    const std::string spelled = (dir.path / "." / "in.wav").string();
    const struct {
        std::vector<std::string> args;
        std::string error;
    } cases[] = {
        {{"--batch", "wav", in}, in + ": output file must not be the input file"},
        {{"--batch", "wav", flac, spelled}, flac + ": its output is another input file: " + spelled},
        {{"--batch", "flac", in, dts}, dts + ": another file has the same output file: " + flac},
        {{"--batch", "mka", in, "--output-dir", in}, "cannot create the output folder: " + in},
    };
    for (const auto& c : cases) {
        const auto result = run_orvane(c.args);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.out, kBanner);
        EXPECT_EQ(result.err, error_report(c.error));
        EXPECT_EQ(dir.names(), std::vector<std::string>{"in.wav"});
    }
}

// --output-dir: a single run's output file name, in a folder made for it.
TEST_F(DriverTest, OutputDirTakesTheOutputsFileName) {
    const fs::path folder = dir.file("new") / "sub";
    const auto result = run_orvane({"--quiet", carrier.string(), "elsewhere/out.dts", "--output-dir", folder.string()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(test::read_file(folder / "out.dts"), frames);
    EXPECT_FALSE(fs::exists("elsewhere"));
}

TEST_F(DriverTest, SkipExistingLeavesAnExistingOutputAlone) {
    const fs::path out = dir.file("out.dts");
    const Bytes old(50000, 0x99);
    test::write_file(out, old);
    const auto skipped = run_orvane({"--skip-existing", dir.file("missing.wav").string(), out.string()});
    EXPECT_EQ(skipped.status, 0) << skipped.err;
    EXPECT_EQ(skipped.out, kBanner + "Output exists, skipped: " + out.string() + "\n");
    EXPECT_EQ(test::read_file(out), old);

    const fs::path fresh = dir.file("fresh.dts");
    const auto converted = run_orvane({"--skip-existing", "--quiet", carrier.string(), fresh.string()});
    EXPECT_EQ(converted.status, 0) << converted.err;
    EXPECT_EQ(test::read_file(fresh), frames);
    EXPECT_EQ(run_orvane({"--skip-existing", "--quiet", carrier.string(), fresh.string()}).out, "");
    EXPECT_EQ(run_orvane({"--skip-existing", "--overwrite", carrier.string(), fresh.string()}).err,
              error_report("--skip-existing cannot be combined with --overwrite"));
}

TEST_F(DriverTest, DoubleHyphenLetsANameStartWithAHyphen) {
    const fs::path previous = fs::current_path();
    fs::current_path(dir.path);
    fs::rename("in.wav", "-x.wav");
    const auto refused = run_orvane({"-x.wav", "-y.dts"});
    const auto result = run_orvane({"--quiet", "--", "-x.wav", "-y.dts"});
    fs::current_path(previous);
    EXPECT_EQ(refused.err, error_report("unknown option: -x.wav"));
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(test::read_file(dir.file("-y.dts")), frames);
}

TEST_F(DriverTest, ScanPrintsTheReportAndTouchesNoOutput) {
    const auto result = run_orvane({"--scan", carrier.string(), dir.file("out.dts").string()});
    EXPECT_EQ(result.status, 0);
    // Frames that only look like DTS: the scan says so and still ends well, as extraction would.
    EXPECT_EQ(result.out.rfind(kBanner +
                                   "Input: DTS-in-WAV carrier, 44100 Hz, 16-bit, 2 ch\n"
                                   "DTS detected: Yes\n"
                                   "Packing: 16-bit big-endian\n"
                                   "First sync: byte 0\n"
                                   "Stream: first frame not decodable: ",
                               0),
              0u)
        << result.out;
    EXPECT_FALSE(fs::exists(dir.file("out.dts")));

    const auto quiet = run_orvane({"--scan", "--quiet", carrier.string()});
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.out, "");

    test::write_file(dir.file("silence.wav"), test::carrier_wav(Bytes(4096, 0)));
    const auto none = run_orvane({"--scan", "--quiet", dir.file("silence.wav").string()});
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.err, error_report("no valid DTS sync word was detected"));
}

// The stream as its first frame and its frame count tell it, after the unchanged report lines.
TEST_F(DriverTest, ScanTellsLayoutRateBitRateAndDurationOfTheStream) {
    struct Case {
        test::DtsClipSpec spec;
        DtsPacking packing;
        std::string file, expected;
    };
    const Case cases[] = {
        {{.sample_rate = 44100, .channels = 6, .bit_rate = 1234800, .frames = 87}, DtsPacking::Le14, "cd.wav",
         "Packing: 14-bit little-endian\nFirst sync: byte 0\nStream: DTS, 5.1(side), 6 channels, 44100 Hz\n"
         "Bit rate: 1234800 b/s\nFrame size: 512 samples\nDuration: 0:01.010 (87 frames)\n"},
        {{.sample_rate = 48000, .channels = 2, .bit_rate = 768000, .frames = 10}, DtsPacking::Be16, "st.dts",
         "Packing: 16-bit big-endian\nFirst sync: byte 0\nStream: DTS, stereo, 2 channels, 48000 Hz\n"
         "Bit rate: 768000 b/s\nFrame size: 512 samples\nDuration: 0:00.107 (10 frames)\n"},
        {{.sample_rate = 48000, .channels = 1, .bit_rate = 384000, .frames = 4}, DtsPacking::Be14, "mono.wav",
         "Packing: 14-bit big-endian\nFirst sync: byte 0\nStream: DTS, mono, 1 channel, 48000 Hz\n"
         "Bit rate: 384000 b/s\nFrame size: 512 samples\nDuration: 0:00.043 (4 frames)\n"},
    };
    for (const Case& c : cases) {
        const Bytes carried = test::carry_clip(test::encode_dts_clip(c.spec), c.packing);
        // Silence after the last frame, as a rip ends, counts no frame.
        Bytes padded = carried;
        padded.resize(carried.size() + 4000, 0);
        test::write_file(dir.file(c.file), c.file.ends_with(".wav") ? test::carrier_wav(padded) : carried);
        const auto scan = run_orvane({"--scan", dir.file(c.file).string()});
        EXPECT_EQ(scan.status, 0) << scan.err;
        EXPECT_TRUE(scan.out.ends_with(c.expected)) << scan.out;
    }
}

TEST_F(DriverTest, RawInputIsReportedAsSuch) {
    Bytes raw(7, 0);
    test::append(raw, test::synthetic_core_frame(600));
    test::write_file(dir.file("in.bin"), raw);
    const auto result = run_orvane({"--scan", dir.file("in.bin").string()});
    EXPECT_EQ(result.out.rfind(kBanner +
                                   "Input: raw DTS elementary stream\n"
                                   "DTS detected: Yes\n"
                                   "Packing: 16-bit big-endian\n"
                                   "First sync: byte 7\n"
                                   "Stream: ",
                               0),
              0u)
        << result.out;
}

TEST_F(DriverTest, InputErrorsComeBeforeOutputErrors) {
    const auto result = run_orvane({dir.file("missing.wav").string(), "out.xyz"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, error_report("unable to open input file"));

    const auto one = run_orvane({carrier.string()});
    EXPECT_EQ(one.status, 2);
    EXPECT_NE(one.out.find("First sync: byte 0\n"), std::string::npos);
    EXPECT_EQ(one.err, error_report("no output file specified"));

    const auto empty = run_orvane({"", "out.dts"});
    EXPECT_EQ(empty.err, error_report("unable to open input file"));
}

TEST_F(DriverTest, ExtensionSelectsTheOperationAndTagsOnlyWhereWritten) {
    for (const std::string name : {"out.flac.bak", ".mka", "noext"}) {
        EXPECT_EQ(run_orvane({carrier.string(), dir.file(name).string()}).err,
                  error_report("unsupported output extension; use .dts, .mka, .flac or .wav"));
    }
    for (const std::string name : {"out.dts", "out.WAV"}) {
        const auto result = run_orvane({carrier.string(), dir.file(name).string(), "--title", "T"});
        EXPECT_EQ(result.err, error_report("tagging is supported for FLAC or Matroska output only"));
        EXPECT_EQ(result.out.find("Operation:"), std::string::npos);
        EXPECT_FALSE(fs::exists(dir.file(name)));
    }
    const auto empty_tag = run_orvane({carrier.string(), dir.file("x.DTS").string(), "--title", ""});
    EXPECT_EQ(empty_tag.status, 0);

    // A cover is tagging too; one that cannot be used is refused before the input is even opened.
    test::write_file(dir.file("cover.png"), test::png_header_only(10, 10));
    for (const std::string name : {"out.dts", "out.wav"}) {
        const auto result = run_orvane({carrier.string(), dir.file(name).string(), "--picture", dir.file("cover.png").string()});
        EXPECT_EQ(result.err, error_report("tagging is supported for FLAC or Matroska output only"));
    }
    const auto missing = run_orvane({"missing.wav", "out.flac", "--picture", dir.file("none.jpg").string()});
    EXPECT_EQ(missing.out, kBanner);
    EXPECT_EQ(missing.err, error_report("unable to read cover picture: " + dir.file("none.jpg").string()));
    const auto unknown = run_orvane({"missing.wav", "out.flac", "--picture", carrier.string()});
    EXPECT_EQ(unknown.err,
              error_report("unusable cover picture: " + carrier.string() + ": not a JPEG or PNG picture"));
}

TEST_F(DriverTest, SixteenBitCarrierLosesOnlyItsPadding) {
    const fs::path out = dir.file("out.dts");
    const auto result = run_orvane({carrier.string(), out.string()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, kBanner +
                              "Input: DTS-in-WAV carrier, 44100 Hz, 16-bit, 2 ch\n"
                              "DTS detected: Yes\n"
                              "Packing: 16-bit big-endian\n"
                              "First sync: byte 0\n"
                              "Operation: lossless DTS bitstream extraction\n"
                              "DTS frames: 3\n"
                              "Carrier padding removed: 5880 bytes\n"
                              "\nConversion complete.\n");
    EXPECT_EQ(test::read_file(out), frames);

    // A carrier the frames fill exactly prints no frame line; a quiet run prints nothing at all.
    test::write_file(carrier, test::carrier_wav(frames));
    const auto exact = run_orvane({"--overwrite", carrier.string(), out.string()});
    EXPECT_EQ(exact.out.find("DTS frames"), std::string::npos);
    EXPECT_EQ(test::read_file(out), frames);
    const auto quiet = run_orvane({"--quiet", "--overwrite", carrier.string(), out.string()});
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.out, "");
}

// Junk inside the stream is dropped and located; zero stuffing between frames is the carrier's own.
TEST_F(DriverTest, GapsInsideTheStreamAreLocated) {
    Bytes data = test::synthetic_core_frame(1000);
    data.resize(data.size() + 300, 0x11);
    test::append(data, test::synthetic_core_frame(1000));
    data.resize(data.size() + 64, 0);
    test::append(data, test::synthetic_core_frame(1000));
    data.resize(data.size() + 10, 0);
    test::write_file(carrier, test::carrier_wav(data));
    const auto result = run_orvane({carrier.string(), dir.file("out.dts").string()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("DTS frames: 3\nGap in DTS stream at input byte 1044: 300 bytes dropped\n"
                              "Carrier padding removed: 374 bytes\n"),
              std::string::npos)
        << result.out;
    EXPECT_EQ(test::read_file(dir.file("out.dts")), frames);
}

// An interrupted copy: the data chunk declares more than the file holds. A streaming writer's
// 0xFFFFFFFF in a plain RIFF file is no such thing; in RF64 the "ds64" chunk declares the size.
TEST_F(DriverTest, ShortenedCopyIsReportedAfterTheReport) {
    const Bytes fmt = test::fmt_body(1, 2, 44100, 16);
    const std::string line = "Input is shorter than its header declares: 3000 of 354304\n";
    const std::vector<std::pair<Bytes, std::string>> cases = {
        {test::build_wav("RIFF", {{"fmt ", fmt}, {"data", frames, 354304}}), line},
        {test::build_wav("RIFF", {{"fmt ", fmt}, {"data", frames, 0xFFFFFFFF}}), ""},
        {test::build_wav("RF64", {{"ds64", test::ds64_body(0, 354304, 0)}, {"fmt ", fmt}, {"data", frames, 0xFFFFFFFF}}),
         line},
        {test::build_wav("RIFF", {{"fmt ", fmt}, {"data", frames, 2000}}), ""},
    };
    // Standard error warns in every mode, quiet ones too, and the run still succeeds.
    const std::string warning =
        "Warning: input is cut short: its header declares 354304 bytes of audio data, the file holds 3000\n";
    for (const auto& [file, expected] : cases) {
        test::write_file(carrier, file);
        const auto scan = run_orvane({"--scan", carrier.string()});
        EXPECT_NE(scan.out.find("First sync: byte 0\n" + expected + "Stream: "), std::string::npos) << scan.out;
        EXPECT_EQ(scan.err, expected.empty() ? "" : warning);
    }
    test::write_file(carrier, cases[0].first);
    const auto quiet = run_orvane({"--scan", "--quiet", carrier.string()});
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(quiet.err, warning);
    const auto run = run_orvane({carrier.string(), dir.file("out.dts").string()});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("First sync: byte 0\n" + line + "Operation: "), std::string::npos) << run.out;
    const auto eac = run_orvane({"--eac", carrier.string(), dir.file("out.dts").string()});
    EXPECT_EQ(eac.status, 0);
    EXPECT_EQ(eac.out + eac.err, warning);
}

TEST_F(DriverTest, LittleEndianWordsComeOutBigEndian) {
    Bytes little = frames;
    little.resize(little.size() + 100, 0);
    for (std::size_t j = 0; j + 1 < little.size(); j += 2) std::swap(little[j], little[j + 1]);
    Bytes shifted = {0xAB};  // the sync word at an odd offset: pairs follow the sync word
    shifted.insert(shifted.end(), little.begin(), little.end());
    test::write_file(carrier, test::carrier_wav(shifted));

    const auto result = run_orvane({carrier.string(), dir.file("out.dts").string()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("Packing: 16-bit little-endian\nFirst sync: byte 1\n"), std::string::npos);
    EXPECT_NE(result.out.find("Carrier padding removed: 100 bytes\n"), std::string::npos);
    EXPECT_EQ(test::read_file(dir.file("out.dts")), frames);

    // A raw little-endian stream is swapped whole, with nothing trimmed.
    test::write_file(dir.file("raw.dts"), little);
    const auto raw = run_orvane({dir.file("raw.dts").string(), dir.file("raw-out.dts").string()});
    EXPECT_EQ(raw.status, 0) << raw.err;
    Bytes expected = frames;
    expected.resize(expected.size() + 100, 0);
    EXPECT_EQ(test::read_file(dir.file("raw-out.dts")), expected);
}

TEST_F(DriverTest, ExistingOutputNeedsOverwrite) {
    const fs::path out = dir.file("out.dts");
    const Bytes old(50000, 0x99);
    test::write_file(out, old);
    const auto refused = run_orvane({carrier.string(), out.string()});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.err, error_report("output file already exists (use --overwrite)"));
    EXPECT_EQ(test::read_file(out), old);

    const auto replaced = run_orvane({carrier.string(), out.string(), "--overwrite"});
    EXPECT_EQ(replaced.status, 0);
    EXPECT_EQ(test::read_file(out), frames);  // no tail of the longer old file

    fs::create_directory(dir.file("dir.dts"));
    EXPECT_EQ(run_orvane({carrier.string(), dir.file("dir.dts").string()}).err,
              error_report("output file already exists (use --overwrite)"));
}

// --overwrite replaces the file the path names: through a link, which stays a link, with the old
// file's permissions, leaving nothing beside it. A FIFO is written into as ever, and afterwards is
// no file to verify.
TEST_F(DriverTest, OverwriteReplacesTheFileThePathNames) {
    if (test::testing_windows_build()) GTEST_SKIP() << "POSIX links, permissions and FIFOs";
    fs::create_directory(dir.file("real"));
    const fs::path kept = dir.file("real") / "kept.dts";
    test::write_file(kept, Bytes(50000, 0x99));
    const fs::perms mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(kept, mode);
    fs::create_symlink(kept, dir.file("link.dts"));
    fs::create_symlink(fs::path("real") / "new.dts", dir.file("dangling.dts"));
    for (const std::string link : {"link.dts", "dangling.dts"}) {
        const auto result = run_orvane({"--quiet", "--overwrite", carrier.string(), dir.file(link).string()});
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_TRUE(fs::is_symlink(dir.file(link))) << link;
        EXPECT_EQ(test::read_file(dir.file(link)), frames) << link;
    }
    EXPECT_EQ(fs::status(kept).permissions(), mode);
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"dangling.dts", "in.wav", "link.dts", "real"}));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.file("real")), fs::directory_iterator()), 2);

    const fs::path pipe = dir.file("pipe.dts");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    Bytes piped;
    std::thread reader([&] { piped = test::read_file(pipe); });
    const auto result = run_orvane({"--quiet", "--overwrite", carrier.string(), pipe.string()});
    // Lets the reader go should the run not have opened the FIFO.
    const int writer = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
    if (writer >= 0) ::close(writer);
    reader.join();
    EXPECT_EQ(piped, frames);
    EXPECT_EQ(result.err, error_report("requested output file is empty or unreadable"));
    EXPECT_EQ(fs::status(pipe).type(), fs::file_type::fifo);
}

TEST_F(DriverTest, UnqueryableOutputPathEndsWithTheFileSystemError) {
    if (test::testing_windows_build()) GTEST_SKIP() << "Windows sees no loop of POSIX symbolic links";
    fs::create_symlink("b.dts", dir.file("a.dts"));
    fs::create_symlink("a.dts", dir.file("b.dts"));
    const auto result = run_orvane({"--quiet", carrier.string(), dir.file("a.dts").string()});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err.rfind("Error: filesystem error: ", 0), 0u) << result.err;
    EXPECT_NE(result.err.find("Too many levels of symbolic links"), std::string::npos);
}

TEST_F(DriverTest, WriteFailuresAreReportedNotHidden) {
    // A Windows program under Wine sees a link to /dev/full as a disk file, which a finished output replaces.
    if (!test::testing_windows_build()) {
        fs::create_symlink("/dev/full", dir.file("full.dts"));
        const auto full = run_orvane({carrier.string(), dir.file("full.dts").string(), "--overwrite"});
        EXPECT_EQ(full.status, 2);
        EXPECT_EQ(full.err, error_report("error writing DTS output"));
        EXPECT_EQ(full.out.find("Conversion complete."), std::string::npos);
    }

    const auto missing_dir = run_orvane({carrier.string(), dir.file("no/such/dir/out.dts").string()});
    EXPECT_EQ(missing_dir.err, error_report("unable to create output file"));
}

TEST_F(DriverTest, EacRemovesTheOutputOfAFailedRunAndPrintsOnlyTheReport) {
    const fs::path out = dir.file("Ausgabe – 出力 🎵.dts");
    test::write_file(out, {1, 2, 3});
    test::write_file(dir.file("silence.wav"), test::carrier_wav(Bytes(4096, 0)));
    const auto failed = run_orvane({"--eac", dir.file("silence.wav").string(), out.string()});
    EXPECT_EQ(failed.status, 2);
    EXPECT_EQ(failed.out, "");
    EXPECT_EQ(failed.err, error_report("no valid DTS sync word was detected"));
    EXPECT_FALSE(fs::exists(out));

    const auto done = run_orvane({"--eac", carrier.string(), out.string()});
    EXPECT_EQ(done.status, 0);
    EXPECT_EQ(done.out, "");
    EXPECT_EQ(test::read_file(out), frames);
}

// Every spelling of the input as output, for every output kind, with and without --eac and
// --overwrite: refused, and the input stays byte for byte as it was.
TEST_F(DriverTest, OutputNamingTheInputIsRefusedAndTheInputSurvives) {
    const Bytes original = test::read_file(carrier);
    test::write_file(dir.file("silence.wav"), test::carrier_wav(Bytes(4096, 0)));
    const Bytes silence = test::read_file(dir.file("silence.wav"));

    for (const std::string extension : {".dts", ".mka", ".flac", ".wav"}) {
        const fs::path input = dir.file("rip" + extension);
        const fs::path symlink = dir.file("link" + extension);
        const fs::path hardlink = dir.file("hard" + extension);
        for (const bool has_dts : {true, false}) {
            test::write_file(input, has_dts ? original : silence);
            fs::remove(symlink);
            fs::remove(hardlink);
            fs::create_symlink(input, symlink);
            fs::create_hard_link(input, hardlink);
            std::vector<std::string> spellings = {input.string(), (dir.path / "." / input.filename()).string(),
                                                  symlink.string(), hardlink.string()};
            // Windows file names ignore letter case: another case names the same file there.
            if (test::testing_windows_build()) spellings.push_back(dir.file("RIP" + extension).string());
            for (const std::string& output : spellings) {
                // Without DTS the analysis fails first; only the EAC clean-up could then reach the input.
                const std::vector<std::vector<std::string>> flag_sets =
                    has_dts ? std::vector<std::vector<std::string>>{{}, {"--overwrite"}, {"--eac"}}
                            : std::vector<std::vector<std::string>>{{"--eac"}};
                for (const auto& flags : flag_sets) {
                    std::vector<std::string> args = flags;
                    args.push_back(input.string());
                    args.push_back(output);
                    const auto result = run_orvane(args);
                    EXPECT_EQ(result.status, 2) << output;
                    if (has_dts) {
                        EXPECT_EQ(result.err, error_report("output file must not be the input file"));
                    }
                    EXPECT_EQ(test::read_file(input), has_dts ? original : silence) << output;
                }
            }
        }
    }
}

TEST_F(DriverTest, RelativeSpellingOfTheInputIsRefused) {
    const fs::path previous = fs::current_path();
    fs::current_path(dir.path);
    const auto result = run_orvane({"in.wav", "./in.wav", "--overwrite"});
    fs::current_path(previous);
    EXPECT_EQ(result.err, error_report("output file must not be the input file"));
}

}  // namespace
}  // namespace orvane
