// Faults from outside: full disks, unwritable places, inputs that are no files or cannot be read,
// outputs that are directories, truncated carriers, non-ASCII names and interrupting signals. Every failure must end
// with status 2, exactly the two report lines, and no output that passes for a finished one.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <filesystem>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/run_driver.hpp"
#include "decode/decoded_output.hpp"
#include "dts/dts_packing.hpp"
#include "support/carriage.hpp"
#include "support/dts_clip.hpp"
#include "support/process_runner.hpp"
#include "support/synthetic_frames.hpp"
#include "support/temp_dir.hpp"
#include "support/wav_file.hpp"

extern "C" {
#include <libavutil/log.h>
}

namespace orvane {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

const std::string kTrustLine = "No output file should be trusted if conversion was interrupted.\n";
const std::vector<std::string> kExtensions = {".dts", ".mka", ".flac", ".wav"};

std::string error_report(const std::string& message) { return "Error: " + message + "\n" + kTrustLine; }

// "Error: <one line>" then the trust line, and nothing else.
bool is_error_report(const std::string& err) {
    const std::string prefix = "Error: ";
    if (err.rfind(prefix, 0) != 0 || err.size() < prefix.size() + kTrustLine.size()) return false;
    if (err.compare(err.size() - kTrustLine.size(), kTrustLine.size(), kTrustLine) != 0) return false;
    const std::string message = err.substr(prefix.size(), err.size() - prefix.size() - kTrustLine.size());
    return message.size() > 1 && message.back() == '\n' && message.find('\n') == message.size() - 1;
}

// A carrier cut inside its data is warned of first, whether the run then succeeds or fails.
std::string after_cut_warning(const std::string& err) {
    if (err.rfind("Warning: input is cut short: ", 0) != 0) return err;
    return err.substr(err.find('\n') + 1);
}

bool claims_success(const test::ProcessResult& result) {
    return result.status == 0 || result.out.find("Conversion complete.") != std::string::npos;
}

// A short clip with small frames, so that every byte of its first frames can be cut at.
const test::DtsClip& small_clip() {
    static const test::DtsClip clip = [] {
        test::DtsClipSpec spec;
        spec.sample_rate = 48000;
        spec.channels = 2;
        spec.bit_rate = 320000;
        spec.frames = 4;
        return test::encode_dts_clip(spec);
    }();
    return clip;
}

struct FaultTest : ::testing::Test {
    test::TempDir dir;
    fs::path carrier = dir.file("in.wav");
    void SetUp() override { test::write_file(carrier, test::carrier_wav(small_clip().joined(), 48000)); }
};

TEST_F(FaultTest, FullDiskFailsEveryOutputKind) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    if (test::testing_windows_build()) GTEST_SKIP() << "under Wine a link to /dev/full looks like a disk file";
    // Where a buffered writer notices the full disk (a write or the flush before the header update)
    // may change; any of its write messages will do, a success never.
    const std::vector<std::pair<std::string, std::vector<std::string>>> expected = {
        {".dts", {"error writing DTS output"}},
        {".mka", {}},  // the context text is followed by FFmpeg's text; checked below
        {".flac", {"error writing FLAC output", "unable to flush FLAC output before STREAMINFO update"}},
        {".wav", {"error writing WAV output"}},
    };
    for (const auto& [extension, messages] : expected) {
        const fs::path out = dir.file("full" + extension);
        fs::create_symlink("/dev/full", out);
        const auto result = test::run_orvane({carrier.string(), out.string(), "--overwrite"});
        EXPECT_EQ(result.status, 2) << extension;
        EXPECT_FALSE(claims_success(result)) << extension;
        ASSERT_TRUE(is_error_report(result.err)) << result.err;
        const std::string message = result.err.substr(7, result.err.find('\n') - 7);
        if (!messages.empty()) {
            EXPECT_NE(std::find(messages.begin(), messages.end(), message), messages.end()) << message;
        } else {
            EXPECT_NE(message.find("No space left on device"), std::string::npos) << message;
        }
        std::error_code ignored;
        fs::remove(out, ignored);
    }
}

// Root ignores permission bits, so the unwritable places used here are a path below a regular file
// and a directory of the proc file system, where nobody can create files; a read-only directory is
// added when the tests do not run as root.
TEST_F(FaultTest, UnwritableOutputDirectoryFailsEveryOutputKind) {
    test::write_file(dir.file("plain"), {1});
    std::vector<fs::path> places = {dir.file("plain"), "/proc"};
    if (::geteuid() != 0) {
        fs::create_directory(dir.file("locked"));
        fs::permissions(dir.file("locked"), fs::perms::owner_read | fs::perms::owner_exec);
        places.push_back(dir.file("locked"));
    }
    for (const fs::path& place : places) {
        for (const std::string& extension : kExtensions) {
            const fs::path out = place / ("orvane-fault-test" + extension);
            const auto result = test::run_orvane({"--quiet", carrier.string(), out.string(), "--overwrite"});
            EXPECT_EQ(result.status, 2) << out;
            EXPECT_TRUE(is_error_report(result.err)) << result.err;
            const std::string message = result.err.substr(7, result.err.find('\n') - 7);
            if (extension == ".dts") {
                EXPECT_EQ(message, "unable to create output file");
            } else if (extension == ".flac") {
                EXPECT_EQ(message, "unable to create FLAC output");
            } else if (extension == ".wav") {
                EXPECT_EQ(message, "unable to create WAV output");
            } else {
                EXPECT_EQ(message.rfind("unable to create Matroska output: ", 0), 0u) << message;
            }
            EXPECT_FALSE(fs::exists(out)) << out;
        }
    }
}

TEST_F(FaultTest, InputsThatAreNoReadableFiles) {
    const fs::path out = dir.file("out.dts");
    const auto expect_refused = [&](const fs::path& input, const std::string& message) {
        const auto result = test::run_orvane({input.string(), out.string()});
        EXPECT_EQ(result.status, 2) << input;
        EXPECT_EQ(result.err, error_report(message)) << input;
        EXPECT_FALSE(fs::exists(out));
    };
    expect_refused(dir.path, "unable to read input file");
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    expect_refused(dir.file("fifo"), "unable to read input file");  // no writer: must not hang
    // Opens, but has no end to seek to and no readable first page: a read failure even for root.
    if (!test::testing_windows_build()) expect_refused("/proc/self/mem", "unable to read input file");
    // Gone before the run, directly or behind a link.
    expect_refused(dir.file("vanished.wav"), "unable to open input file");
    fs::create_symlink(dir.file("vanished.wav"), dir.file("link.wav"));
    expect_refused(dir.file("link.wav"), "unable to open input file");
    expect_refused(dir.file("in.wav/below-a-file.wav"), "unable to open input file");
    expect_refused("", "unable to open input file");
}

TEST_F(FaultTest, UnreadableInput) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads files whatever their permission bits";
    fs::permissions(carrier, fs::perms::none);
    const auto result = test::run_orvane({carrier.string(), dir.file("out.dts").string()});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, error_report("unable to open input file"));
}

// A directory at the output path is never replaced and never removed, not even by the clean-up of
// a failed Matroska or EAC run.
TEST_F(FaultTest, OutputPathThatIsADirectory) {
    for (const std::string& extension : kExtensions) {
        const fs::path out = dir.file("folder" + extension);
        fs::create_directory(out);
        const auto plain = test::run_orvane({"--quiet", carrier.string(), out.string()});
        EXPECT_EQ(plain.status, 2);
        EXPECT_EQ(plain.err, error_report("output file already exists (use --overwrite)")) << extension;

        for (const std::string flag : {"--overwrite", "--eac"}) {
            const auto result = test::run_orvane({"--quiet", flag, carrier.string(), out.string()});
            EXPECT_EQ(result.status, 2) << extension << " " << flag;
            EXPECT_TRUE(is_error_report(result.err)) << result.err;
            EXPECT_TRUE(fs::is_directory(out)) << extension << " " << flag;
        }
    }
}

// Names and tags in several scripts reach the file system and the outputs whole, as UTF-8 (on
// Windows they travel through the wide command line and wide paths).
TEST_F(FaultTest, NonAsciiFileNamesAndTags) {
    const std::vector<std::string> names = {"Entrée – ünïcödé ß", "Ελληνικά и кириллица", "日本語の雨 ♫", "🎵 emoji 🎧"};
    // Quotes and a backslash too: the Windows build splits its wide command line as the C runtime would.
    const std::string title = "Ünïcødé – \"Ελλάδα\" \\ Москва 雨 🎵";
    for (std::size_t i = 0; i < names.size(); ++i) {
        const fs::path input = dir.file(names[i] + ".wav");
        fs::copy_file(carrier, input, fs::copy_options::overwrite_existing);
        const fs::path out = dir.file(names[(i + 1) % names.size()] + " ✓" + kExtensions[i]);
        std::vector<std::string> args = {"--quiet", input.string(), out.string()};
        const bool tagged = kExtensions[i] == ".mka" || kExtensions[i] == ".flac";
        if (tagged) args.insert(args.end(), {"--title", title});
        const auto result = test::run_orvane(args);
        EXPECT_EQ(result.status, 0) << out << result.err;
        EXPECT_GT(fs::file_size(out), 0u) << out;
        if (kExtensions[i] == ".dts") {
            EXPECT_EQ(test::read_file(out), small_clip().joined());
        }
        if (kExtensions[i] == ".flac") {
            const auto tag = test::run_program("metaflac", {"--no-utf8-convert", "--show-tag=TITLE", out.string()});
            EXPECT_EQ(tag.out, "TITLE=" + title + "\n");
        }
        if (kExtensions[i] == ".mka") {
            // mkvinfo prints in the locale's character set: UTF-8 is asked for.
            const auto info = test::run_program("env", {"LC_ALL=C.UTF-8", "mkvinfo", out.string()});
            EXPECT_NE(info.out.find("+ Title: " + title + "\n"), std::string::npos) << info.out;
        }
    }
    const auto scan = test::run_orvane({"--scan", dir.file(names[2] + ".wav").string()});
    EXPECT_EQ(scan.status, 0) << scan.err;
    // A disc of such tracks: each output beside its track, reported by its name.
    const auto disc = test::run_orvane({"--gapless", "flac", dir.file(names[0] + ".wav").string(),
                                        dir.file(names[3] + ".wav").string()});
    EXPECT_EQ(disc.status, 0) << disc.err;
    EXPECT_NE(disc.out.find("Track 2 written: " + dir.file(names[3] + ".flac").string() + "\n"), std::string::npos)
        << disc.out;
}

// The driver in this process, with its two streams captured: thousands of runs stay fast.
struct InProcessResult {
    int status = -1;
    std::string out;
    std::string err;
};

InProcessResult run_in_process(const std::vector<std::string>& arguments) {
    std::ostringstream out;
    std::ostringstream err;
    std::streambuf* const old_out = std::cout.rdbuf(out.rdbuf());
    std::streambuf* const old_err = std::cerr.rdbuf(err.rdbuf());
    InProcessResult result;
    result.status = orvane::run_orvane(arguments);
    std::cout.rdbuf(old_out);
    std::cerr.rdbuf(old_err);
    result.out = out.str();
    result.err = err.str();
    return result;
}

struct QuietFfmpeg {
    int level = av_log_get_level();
    QuietFfmpeg() { av_log_set_level(AV_LOG_QUIET); }
    ~QuietFfmpeg() { av_log_set_level(level); }
};

constexpr const char* kInProcess = "runs this build's code in-process, not the binary under test";

bool starts_with(const Bytes& whole, const Bytes& part) {
    return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

// Cuts the carrier at every byte across its headers and first two frames and runs every operation
// on each cut: status 0 with a non-empty output, or status 2 with the report; nothing else.
void check_every_truncation(const fs::path& directory, const Bytes& file, std::size_t cut_end, const Bytes& stream,
                            const std::vector<std::string>& extensions) {
    const QuietFfmpeg quiet_ffmpeg;
    const fs::path input = directory / "cut-carrier";
    std::map<std::string, std::size_t> successes;
    for (std::size_t length = 0; length <= cut_end && length <= file.size(); ++length) {
        test::write_file(input, Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length)));
        for (const std::string& extension : extensions) {
            const fs::path out = directory / ("cut" + extension);
            const auto result = run_in_process({"--quiet", "--overwrite", input.string(), out.string()});
            const std::string err = after_cut_warning(result.err);
            if (result.status == 0) {
                ++successes[extension];
                ASSERT_EQ(err, "") << length << extension;
                ASSERT_GT(fs::file_size(out), 0u) << length << extension;
                // Lossless extraction only ever drops bytes at the end of a cut stream.
                if (extension == ".dts") {
                    ASSERT_TRUE(starts_with(stream, test::read_file(out))) << length;
                }
            } else {
                ASSERT_EQ(result.status, 2) << length << extension;
                ASSERT_TRUE(is_error_report(err)) << length << extension << ": " << result.err;
                ASSERT_EQ(result.out, "") << length << extension;
            }
            std::error_code ignored;
            fs::remove(out, ignored);
        }
    }
    // The longer cuts hold whole frames, and every operation converts them.
    for (const std::string& extension : extensions) {
        EXPECT_GT(successes[extension], 0u) << extension;
        ::testing::Test::RecordProperty("converted" + extension, static_cast<int>(successes[extension]));
    }
}

TEST_F(FaultTest, EveryTruncationOfASixteenBitCarrier) {
    if (test::testing_windows_build()) GTEST_SKIP() << kInProcess;
    const test::DtsClip& clip = small_clip();
    const Bytes stream = clip.joined();
    const Bytes file = test::carrier_wav(stream, 48000);
    const std::size_t headers = file.size() - stream.size();
    check_every_truncation(dir.path, file, headers + clip.frames[0].size() + clip.frames[1].size() + 8, stream,
                           kExtensions);
}

TEST_F(FaultTest, EveryTruncationOfAFourteenBitRf64Carrier) {
    if (test::testing_windows_build()) GTEST_SKIP() << kInProcess;
    const test::DtsClip& clip = small_clip();
    const Bytes stream = test::carry_clip(clip, DtsPacking::Le14);
    const Bytes file = test::carrier_wav(stream, 48000, true);
    const std::size_t headers = file.size() - stream.size();
    const std::size_t first_two = 2 * test::carry_frame(clip.frames[0], DtsPacking::Le14).size();
    check_every_truncation(dir.path, file, headers + first_two + 8, stream, kExtensions);
}

// A sample of the same cuts through the binary itself: status and report as in process.
TEST_F(FaultTest, TruncatedCarriersThroughTheBinary) {
    const Bytes file = test::read_file(carrier);
    const std::size_t headers = file.size() - small_clip().joined().size();
    const std::size_t frame = small_clip().frames[0].size();
    for (const std::size_t length : {std::size_t{0}, std::size_t{11}, std::size_t{12}, std::size_t{19}, std::size_t{20},
                                     headers - 1, headers + 5, headers + 6, headers + frame - 1, headers + frame,
                                     headers + frame + 7, headers + 2 * frame + 1}) {
        test::write_file(dir.file("cut-carrier"), Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length)));
        for (const std::string& extension : kExtensions) {
            const fs::path out = dir.file("cut" + extension);
            const auto result = test::run_orvane({"--quiet", "--overwrite", dir.file("cut-carrier").string(), out.string()});
            EXPECT_TRUE(result.status == 0 || result.status == 2) << length << extension << " " << result.status;
            const std::string err = after_cut_warning(result.err);
            if (result.status == 2) {
                EXPECT_TRUE(is_error_report(err)) << length << extension << ": " << result.err;
            } else {
                EXPECT_GT(fs::file_size(out), 0u);
                EXPECT_EQ(err, "") << length << extension;
            }
        }
    }
}

// Two minutes of DTS-CD frames (one second's, repeated) in a 16-bit carrier: long enough that a
// signal sent once the output has grown past its first write always lands in the middle of the decode.
const Bytes& long_carrier() {
    static const Bytes file = [] {
        const Bytes second = test::cached_dts_cd_clip(86).joined();
        Bytes stream;
        stream.reserve(second.size() * 120);
        for (int i = 0; i < 120; ++i) test::append(stream, second);
        return test::carrier_wav(stream);
    }();
    return file;
}

// The run, started through `launcher` when one is named, sent `signal` once the file it writes beside
// `out` (hidden, named after it) has grown past its first writes.
test::ProcessResult run_interrupted(const std::vector<std::string>& args, const fs::path& out, int signal,
                                    const std::string& launcher = "") {
    const auto send_signal = [&](int pid) {
        const std::string staged = "." + out.filename().string();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (bool grown = false; !grown && std::chrono::steady_clock::now() < deadline;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            std::error_code ignored;
            for (const auto& entry : fs::directory_iterator(out.parent_path(), ignored)) {
                grown |= entry.path().filename().string().starts_with(staged) && entry.file_size(ignored) > 100000;
            }
        }
        ::kill(pid, signal);
    };
    if (launcher.empty()) return test::run_orvane(args, send_signal);
    std::vector<std::string> command{ORVANE_BINARY_PATH};
    command.insert(command.end(), args.begin(), args.end());
    return test::run_program(launcher, command, send_signal);
}

// Ctrl-C, a stop or a closed terminal ends the run like a failure: the report, then death by that
// signal, so a calling loop stops. Nothing is left under the output's name or beside it, a file the
// run was to replace stays as it was, and a later --skip-existing run converts.
TEST_F(FaultTest, SignalsEndTheRunLikeAFailureThenByTheSignal) {
    if (test::testing_windows_build()) GTEST_SKIP() << "POSIX signals; Windows stops a console program by other means";
    test::write_file(carrier, long_carrier());
    const fs::path wav = dir.file("out.wav");
    const auto by_int = run_interrupted({carrier.string(), wav.string()}, wav, SIGINT);
    EXPECT_EQ(by_int.signal, SIGINT);
    EXPECT_EQ(by_int.err, error_report("interrupted"));
    EXPECT_NE(by_int.out.find("Decoded: "), std::string::npos);
    EXPECT_EQ(by_int.out.find("Conversion complete."), std::string::npos);
    EXPECT_EQ(dir.names(), std::vector<std::string>{"in.wav"});

    const fs::path flac = dir.file("out.flac");
    const Bytes good(300000, 0x5A);
    test::write_file(flac, good);
    const auto by_term = run_interrupted({"--quiet", "--overwrite", carrier.string(), flac.string()}, flac, SIGTERM);
    EXPECT_EQ(by_term.signal, SIGTERM);
    EXPECT_EQ(by_term.err, error_report("interrupted"));
    EXPECT_TRUE(test::read_file(flac) == good);
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"in.wav", "out.flac"}));

    const auto in_eac = run_interrupted({"--eac", carrier.string(), flac.string()}, flac, SIGHUP);
    EXPECT_EQ(in_eac.signal, SIGHUP);
    EXPECT_EQ(in_eac.out, "");
    EXPECT_EQ(in_eac.err, error_report("interrupted"));
    EXPECT_EQ(dir.names(), std::vector<std::string>{"in.wav"});

    const auto again = test::run_orvane({"--skip-existing", "--quiet", carrier.string(), wav.string()});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(test::read_file(wav).size(), 44u + 120 * 86 * 512 * 18);

    // Started with SIGHUP ignored (nohup), the run ignores it and finishes.
    const fs::path whole = dir.file("nohup.wav");
    const auto under_nohup = run_interrupted({"--quiet", carrier.string(), whole.string()}, whole, SIGHUP, "nohup");
    EXPECT_EQ(under_nohup.status, 0) << under_nohup.err;
    EXPECT_EQ(fs::file_size(whole), 44u + 120 * 86 * 512 * 18);
}

}  // namespace
}  // namespace orvane
