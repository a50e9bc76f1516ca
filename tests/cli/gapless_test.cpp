// End-to-end runs of --gapless: a disc cut into tracks at sector boundaries that fall inside frames
// converts into per-track outputs that join into the single-file conversion of the whole disc.

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "decode/decoded_output.hpp"
#include "dts/dts_packing.hpp"
#include "support/carriage.hpp"
#include "support/dts_clip.hpp"
#include "support/lossless_encode.hpp"
#include "support/picture_bytes.hpp"
#include "support/process_runner.hpp"
#include "support/temp_dir.hpp"
#include "support/wav_file.hpp"

namespace orvane::test {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kLead = 600;                          // silence before the first frame
constexpr std::size_t kSector = 2352;                       // 588 carrier sample frames
constexpr std::size_t kCuts[] = {3 * kSector, 7 * kSector};  // inside frames in both packings

class Gapless : public ::testing::Test {
protected:
    const DtsClip* clip = &cached_dts_cd_clip(12);
    TempDir dir;

    // The disc's payload, cut after 11 frames and 500 bytes of the twelfth.
    Bytes disc(DtsPacking packing) const { return carried_payload(*clip, packing, kLead, 11, 500); }

    // Tracks named t1<ext> ... and the whole disc as whole.dtswav.
    std::vector<fs::path> write_tracks(const Bytes& payload, const std::string& ext) const {
        std::vector<fs::path> tracks;
        std::size_t from = 0;
        for (std::size_t k = 0; k <= std::size(kCuts); ++k) {
            const std::size_t to = k < std::size(kCuts) ? kCuts[k] : payload.size();
            tracks.push_back(dir.file("t" + std::to_string(k + 1) + ext));
            write_file(tracks.back(), carrier_wav(Bytes(payload.begin() + from, payload.begin() + to)));
            from = to;
        }
        write_file(dir.file("whole.dtswav"), carrier_wav(payload));
        return tracks;
    }

    std::vector<std::string> gapless_args(const std::string& format, const std::vector<fs::path>& tracks) const {
        std::vector<std::string> args{"--gapless", format};
        for (const auto& track : tracks) args.push_back(track.string());
        return args;
    }
};

// Decoded samples per channel up to carried byte b of the payload: the frames before b's frame, and
// b's share of its frame's bytes, rounded.
std::uint64_t samples_before(std::size_t b, std::size_t frame_bytes) {
    const std::size_t into = b - kLead;
    return into / frame_bytes * 512 + (into % frame_bytes * 512 * 2 + frame_bytes) / (2 * frame_bytes);
}

TEST_F(Gapless, TracksJoinIntoTheWholeDiscSampleForSampleAndByteForByte) {
    for (const DtsPacking packing : {DtsPacking::Le14, DtsPacking::Le16}) {
        SCOPED_TRACE(packing_name(packing));
        const std::size_t frame_bytes = is_14bit(packing) ? 2048 : 1792;
        const Bytes payload = disc(packing);
        // Named so that no output, .wav included, would replace its input.
        const std::vector<fs::path> tracks = write_tracks(payload, ".dtswav");
        const std::uint64_t total = 11 * 512;
        const std::uint64_t expected[] = {samples_before(kCuts[0], frame_bytes),
                                          samples_before(kCuts[1], frame_bytes) - samples_before(kCuts[0], frame_bytes),
                                          total - samples_before(kCuts[1], frame_bytes)};

        for (const std::string format : {"flac", "wav", "dts", "mka"}) {
            SCOPED_TRACE(format);
            // Every tagged track gets the cover.
            std::vector<std::string> args = gapless_args(format, tracks);
            args.insert(args.end(), {"--jobs", "2"});  // decoded on one thread, encoded on another
            const Bytes cover = jpeg_header_only(300, 300);
            write_file(dir.file("cover.jpg"), cover);
            if (format == "flac" || format == "mka") args.insert(args.end(), {"--picture", dir.file("cover.jpg").string()});
            const auto result = run_orvane(args);
            ASSERT_EQ(result.status, 0) << result.err;
            EXPECT_EQ(result.err, "");  // no progress line when standard error is not a terminal
            // Only the disc's end cuts a frame, which every output leaves out alike; a 16-bit .dts
            // counts it with the carrier's padding, as its single-file extraction does.
            const bool padding = format == "dts" && !is_14bit(packing);
            EXPECT_NE(result.out.find(padding ? "Carrier padding removed: 500 bytes\n"
                                              : "Incomplete final DTS frame ignored: 500 bytes\n"),
                      std::string::npos)
                << result.out;
            const auto whole = dir.file("whole." + format);
            ASSERT_EQ(run_orvane({dir.file("whole.dtswav").string(), whole.string(), "--quiet", "--overwrite"}).status, 0);
            std::vector<fs::path> outputs;
            for (const auto& track : tracks) outputs.push_back(fs::path(track).replace_extension("." + format));

            if (format == "flac" || format == "wav") {
                std::vector<std::int32_t> joined;
                for (std::size_t k = 0; k < outputs.size(); ++k) {
                    const Bytes file = read_file(outputs[k]);
                    const std::uint64_t held = format == "flac" ? streaminfo_total_samples(file)
                                                                : le32_at(file, 40) / (6 * 3);
                    EXPECT_EQ(held, expected[k]) << k;
                    const auto samples = ffmpeg_read_pcm24(dir, outputs[k]);
                    EXPECT_EQ(samples.size(), expected[k] * 6) << k;
                    joined.insert(joined.end(), samples.begin(), samples.end());
                }
                EXPECT_TRUE(joined == ffmpeg_read_pcm24(dir, whole));
                if (format == "flac") {
                    const auto picture = run_program("metaflac", {"--export-picture-to=-", outputs[2].string()});
                    EXPECT_TRUE(Bytes(picture.out.begin(), picture.out.end()) == cover);
                    const auto numbers =
                        run_program("metaflac", {"--show-tag=TRACKNUMBER", "--show-tag=TRACKTOTAL", outputs[0].string()});
                    EXPECT_EQ(numbers.out, "TRACKNUMBER=1\nTRACKTOTAL=3\n");
                }
            } else if (format == "dts") {
                Bytes joined;
                for (const auto& output : outputs) {
                    const Bytes bytes = read_file(output);
                    joined.insert(joined.end(), bytes.begin(), bytes.end());
                }
                EXPECT_TRUE(joined == read_file(whole));
            } else {
                // The tracks' blocks joined are the whole disc's, in the form mkvmerge's own mux holds.
                Bytes joined;
                for (const auto& output : outputs) {
                    const fs::path extracted = dir.file("extracted.dts");
                    const auto run = run_program("mkvextract", {output.string(), "tracks", "0:" + extracted.string()});
                    ASSERT_EQ(run.status, 0) << run.out;
                    const Bytes bytes = read_file(extracted);
                    joined.insert(joined.end(), bytes.begin(), bytes.end());
                }
                const Bytes frames = clip->joined();
                EXPECT_TRUE(joined == Bytes(frames.begin(), frames.begin() + 11 * kDtsCdFrameBytes));
                const auto probe = run_program("ffprobe", {"-v", "error", "-select_streams", "a:0", "-show_entries",
                                                           "packet=pts", "-of", "csv=p=0", outputs[1].string()});
                EXPECT_EQ(probe.out.substr(0, 2), "0\n");  // each track timed from 0
                const auto tags = run_program("ffprobe", {"-v", "error", "-show_entries", "format_tags", "-of",
                                                          "default=nw=1", outputs[0].string()});
                EXPECT_NE(tags.out.find("TAG:TRACKTOTAL=3\nTAG:track=1\n"), std::string::npos) << tags.out;
                const auto info = run_program("mkvinfo", {outputs[1].string()});
                EXPECT_NE(info.out.find("File name: cover.jpg\n"), std::string::npos) << info.out;
            }
            for (const auto& output : outputs) fs::remove(output);
        }
    }
}

// Rips as rippers leave them: each track's output keeps that rip's own tags and cover (FLAC comments
// and PICTURE, a WAV's INFO list), under the album tags given for every track.
TEST_F(Gapless, EachTrackKeepsItsRipsTagsAndCover) {
    const std::vector<fs::path> pieces = write_tracks(disc(DtsPacking::Le14), ".dtswav");
    std::vector<fs::path> flac_rips;
    std::vector<fs::path> wav_rips;
    std::vector<Bytes> covers;
    for (std::size_t k = 0; k < pieces.size(); ++k) {
        const std::string n = std::to_string(k + 1);
        covers.push_back(jpeg_header_only(static_cast<std::uint16_t>(100 + k), 100));
        write_file(dir.file("c" + n + ".jpg"), covers.back());
        flac_rips.push_back(dir.file("r" + n + ".rip"));  // FLAC, by content: no output replaces it
        write_file(flac_rips.back(), encode_lossless(read_file(pieces[k]), LosslessTool::Flac,
                                                     {"-T", "TITLE=Song " + n, "-T", "ARTIST=Band", "-T", "ALBUM=Old",
                                                      "--picture=" + dir.file("c" + n + ".jpg").string()}));
        const Bytes info = {'I', 'N', 'F', 'O', 'I', 'N', 'A', 'M', 2, 0, 0, 0, 'S', static_cast<std::uint8_t>('0' + k)};
        const Bytes piece = read_file(pieces[k]);
        wav_rips.push_back(dir.file("w" + n + ".dtswav"));
        write_file(wav_rips.back(), build_wav("RIFF", {{"fmt ", fmt_body(1, 2, 44100, 16)},
                                                       {"data", Bytes(piece.begin() + 44, piece.end())},
                                                       {"LIST", info}}));
    }
    std::vector<std::string> args = gapless_args("flac", flac_rips);
    args.insert(args.end(), {"--album", "Given"});
    for (const std::string format : {"flac", "mka"}) {
        args[1] = format;
        const auto run = run_orvane(args);
        ASSERT_EQ(run.status, 0) << run.err;
    }
    const auto run = run_orvane(gapless_args("flac", wav_rips));
    ASSERT_EQ(run.status, 0) << run.err;
    for (std::size_t k = 0; k < pieces.size(); ++k) {
        SCOPED_TRACE(k);
        const std::string flac = fs::path(flac_rips[k]).replace_extension(".flac").string();
        EXPECT_EQ(run_program("metaflac", {"--show-tag=TITLE", "--show-tag=ARTIST", "--show-tag=ALBUM", flac}).out,
                  "TITLE=Song " + std::to_string(k + 1) + "\nARTIST=Band\nALBUM=Given\n");
        const auto picture = run_program("metaflac", {"--export-picture-to=-", flac});
        EXPECT_TRUE(Bytes(picture.out.begin(), picture.out.end()) == covers[k]);
        const std::string mka = fs::path(flac_rips[k]).replace_extension(".mka").string();
        const auto tags = run_program("ffprobe", {"-v", "error", "-show_entries", "format_tags", "-of", "default=nw=1", mka});
        EXPECT_NE(tags.out.find("TAG:title=Song " + std::to_string(k + 1) + "\n"), std::string::npos) << tags.out;
        EXPECT_NE(tags.out.find("TAG:ALBUM=Given\n"), std::string::npos) << tags.out;
        const fs::path extracted = dir.file("cover.out");
        ASSERT_EQ(run_program("mkvextract", {mka, "attachments", "1:" + extracted.string()}).status, 0);
        EXPECT_TRUE(read_file(extracted) == covers[k]);
        const std::string from_wav = fs::path(wav_rips[k]).replace_extension(".flac").string();
        EXPECT_EQ(run_program("metaflac", {"--show-tag=TITLE", from_wav}).out, "TITLE=S" + std::to_string(k) + "\n");
    }
}

// Damage across the first cut, concealed: every track keeps its length, the cut falling inside the
// silence where it would have fallen in the audio.
TEST_F(Gapless, ConcealedDamageKeepsEveryTrackItsLength) {
    Bytes payload = disc(DtsPacking::Le14);
    std::mt19937 random(7);
    for (std::size_t i = kCuts[0] - 1000; i < kCuts[0] + 1000; ++i) payload[i] = static_cast<std::uint8_t>(random());
    std::vector<std::string> args = gapless_args("wav", write_tracks(payload, ".dtswav"));
    args.push_back("--conceal-damage");
    const auto result = run_orvane(args);
    ASSERT_EQ(result.status, 0) << result.err;
    const std::uint64_t ends[] = {samples_before(kCuts[0], 2048), samples_before(kCuts[1], 2048), 11 * 512};
    for (std::size_t k = 0; k < 3; ++k) {
        const std::uint64_t held = le32_at(read_file(dir.file("t" + std::to_string(k + 1) + ".wav")), 40) / 18;
        EXPECT_EQ(held, ends[k] - (k > 0 ? ends[k - 1] : 0)) << k;
    }
}

// On a terminal a progress line names the track being written, counted from 1.
TEST_F(Gapless, ProgressLineOnATerminalCountsTheTracks) {
    if (testing_windows_build()) GTEST_SKIP() << "run under a POSIX pseudo-terminal";
    std::string command = std::string("'") + ORVANE_BINARY_PATH + "' --gapless wav";
    for (const auto& track : write_tracks(disc(DtsPacking::Le14), ".dtswav")) command += " '" + track.string() + "'";
    const auto result = run_program("script", {"-qec", command, "/dev/null"});
    ASSERT_EQ(result.status, 0) << result.out;
    const auto first = result.out.find("\rTrack ");
    ASSERT_NE(first, std::string::npos) << result.out;
    EXPECT_EQ(result.out.substr(first, 15), "\rTrack 1 of 3, ");
    EXPECT_NE(result.out.find("\rTrack 3 of 3, "), std::string::npos) << result.out;
    // One file's conversion shows its share of the input, gone before the closing line.
    const std::string single = std::string("'") + ORVANE_BINARY_PATH + "' '" + dir.file("whole.dtswav").string() +
                               "' '" + dir.file("whole.flac").string() + "'";
    const auto file = run_program("script", {"-qec", single, "/dev/null"});
    ASSERT_EQ(file.status, 0) << file.out;
    const auto percent = file.out.find("% of the input");
    ASSERT_NE(percent, std::string::npos) << file.out;
    EXPECT_LT(percent, file.out.find("\r\033[K"));
    EXPECT_EQ(file.out.find("% of the input", file.out.find("Conversion complete.")), std::string::npos);
}

TEST_F(Gapless, WhatCannotBeOneDiscIsRefusedBeforeAnyOutputExists) {
    const Bytes payload = disc(DtsPacking::Le14);
    const std::vector<fs::path> tracks = write_tracks(payload, ".wav");
    const Bytes other_packing = carried_payload(*clip, DtsPacking::Be14, 0, 4, 0);
    const struct {
        Bytes second;  // track 2 replaced by this carrier
        std::vector<std::string> extra;
        std::string error;
    } cases[] = {
        {carrier_wav(other_packing), {}, "track 2 of 3 (" + tracks[1].string() + ") does not continue track 1: its DTS packing differs"},
        {carrier_wav(payload, 48000), {}, "track 2 of 3 (" + tracks[1].string() + ") does not continue track 1: its carrier format differs"},
        // Track 1 given again as track 2: the frame cut at track 1's end is not completed where it starts.
        {carrier_wav(Bytes(payload.begin(), payload.begin() + kCuts[0])), {},
         "track 2 of 3 (" + tracks[1].string() + ") does not continue track 1 (" + tracks[0].string() +
             "): are the tracks in disc order?"},
        {{}, {"--title", "A"}, "--title cannot be combined with --gapless: every track would get the same title"},
        {{}, {"--skip-existing"}, "--gapless cannot be combined with --skip-existing"},
        {{}, {"--artist", "A"}, "tagging is supported for FLAC or Matroska output only"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        if (!c.second.empty()) write_file(tracks[1], c.second);
        std::vector<std::string> args = {"--gapless", c.extra.empty() || c.extra[0] != "--artist" ? "flac" : "dts"};
        for (const auto& track : tracks) args.push_back(track.string());
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const auto result = run_orvane(args);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.err, "Error: " + c.error + "\nNo output file should be trusted if conversion was interrupted.\n");
        for (const auto& track : tracks) {
            EXPECT_FALSE(fs::exists(fs::path(track).replace_extension(".flac")));
            EXPECT_FALSE(fs::exists(fs::path(track).replace_extension(".dts")));
        }
    }
    // An existing output stops the run before any other is written; a .wav output would replace its input.
    write_file(tracks[1], carrier_wav(Bytes(payload.begin() + kCuts[0], payload.begin() + kCuts[1])));
    write_file(fs::path(tracks[2]).replace_extension(".mka"), Bytes{1});
    auto result = run_orvane(gapless_args("mka", tracks));
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("track 3 of 3 (" + tracks[2].string() + "): output file already exists"), std::string::npos);
    EXPECT_FALSE(fs::exists(fs::path(tracks[0]).replace_extension(".mka")));
    result = run_orvane(gapless_args("wav", tracks));
    EXPECT_NE(result.err.find("track 1 of 3 (" + tracks[0].string() + "): output file must not be the input file"),
              std::string::npos);
    // In another folder, the .wav outputs of .wav rips replace nothing.
    std::vector<std::string> args = gapless_args("wav", tracks);
    args.insert(args.end(), {"--quiet", "--output-dir", dir.file("decoded").string()});
    result = run_orvane(args);
    EXPECT_EQ(result.status, 0) << result.err;
    for (const auto& track : tracks) {
        EXPECT_EQ(run_program("ffmpeg", {"-v", "error", "-i", (dir.file("decoded") / track.filename()).string(), "-f",
                                         "null", "-"}).err, "");
    }
    const std::string again = (tracks[0].parent_path() / "." / tracks[0].filename()).string();
    result = run_orvane({"--gapless", "flac", tracks[0].string(), again});
    EXPECT_NE(result.err.find("track 2 of 2 (" + again + "): another track has the same output file"), std::string::npos)
        << result.err;
}

// A track cut short is warned of by name, quiet or not, and the disc still converts.
TEST_F(Gapless, TrackCutShortIsWarnedOfByName) {
    const Bytes payload = disc(DtsPacking::Le14);
    const std::vector<fs::path> tracks = write_tracks(payload, ".dtswav");
    Bytes last = read_file(tracks[2]);
    last.resize(last.size() - 1000);
    write_file(tracks[2], last);
    const auto result = run_orvane({"--quiet", "--gapless", "dts", tracks[0].string(), tracks[1].string(),
                                    tracks[2].string()});
    EXPECT_EQ(result.status, 0);
    const std::size_t declared = payload.size() - kCuts[1];
    EXPECT_EQ(result.err, "Warning: track 3 of 3 (" + tracks[2].string() + "): input is cut short: its header declares " +
                              std::to_string(declared) + " bytes of audio data, the file holds " +
                              std::to_string(declared - 1000) + "\n");
}

// FFmpeg's errors about a damaged stretch name the track file being read at the time.
TEST_F(Gapless, FfmpegErrorsNameTheTrackFileBeingRead) {
    Bytes payload = disc(DtsPacking::Le14);
    std::mt19937 random(5);
    for (std::size_t i = kCuts[1] + 3100; i < kCuts[1] + 4500; ++i) payload[i] = static_cast<std::uint8_t>(random());
    const std::vector<fs::path> tracks = write_tracks(payload, ".wav");
    const auto result = run_orvane(gapless_args("flac", tracks));
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err.rfind(tracks[2].string() + ": [dca] ", 0), 0u) << result.err;
}

// Interrupted in the middle of track 2: track 1, finished before, stays whole; track 2 leaves nothing.
TEST_F(Gapless, InterruptionKeepsFinishedTracksAndLeavesNoPartialOne) {
    if (testing_windows_build()) GTEST_SKIP() << "POSIX signals";
    const Bytes second = cached_dts_cd_clip(86).joined();
    Bytes minute;
    for (int i = 0; i < 60; ++i) minute.insert(minute.end(), second.begin(), second.end());
    write_file(dir.file("t1.dtswav"), carrier_wav(second));
    write_file(dir.file("t2.dtswav"), carrier_wav(minute));
    std::vector<std::string> args = gapless_args("flac", {dir.file("t1.dtswav"), dir.file("t2.dtswav")});
    args.insert(args.end(), {"--jobs", "2"});
    const auto result = run_orvane(args, [&](int pid) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        // Track 1 is encoded on a thread of its own and may finish after track 2 has grown (slow
        // under sanitizers): wait for both.
        for (bool grown = false; !grown && std::chrono::steady_clock::now() < deadline;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            std::error_code ignored;
            bool first_done = fs::exists(dir.file("t1.flac"), ignored);
            for (const auto& entry : fs::directory_iterator(dir.path, ignored)) {
                grown |= first_done && entry.path().filename().string().starts_with(".t2.flac") &&
                         entry.file_size(ignored) > 100000;
            }
        }
        ::kill(pid, SIGINT);
    });
    EXPECT_EQ(result.signal, SIGINT);
    EXPECT_EQ(result.err, "Error: track 2 of 2 (" + dir.file("t2.dtswav").string() +
                              "): interrupted\nNo output file should be trusted if conversion was interrupted.\n");
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"t1.dtswav", "t1.flac", "t2.dtswav"}));
    EXPECT_EQ(streaminfo_total_samples(read_file(dir.file("t1.flac"))), 86u * 512);
    EXPECT_EQ(run_program("flac", {"-t", "-s", dir.file("t1.flac").string()}).status, 0);
}

// A disc longer than the queue between the threads, in unequal tracks: every track's file is the
// same, byte for byte, whether one thread decodes and encodes or several tracks are encoded at once.
TEST_F(Gapless, EncoderThreadsWriteTheFilesOfOne) {
    const Bytes second = cached_dts_cd_clip(86).joined();
    Bytes disc;
    for (int i = 0; i < 36; ++i) disc.insert(disc.end(), second.begin(), second.end());
    const std::size_t cuts[] = {0, disc.size() / 9 / kSector * kSector, disc.size() / 2 / kSector * kSector,
                                disc.size() / 2 / kSector * kSector + 3 * kSector, disc.size()};
    std::vector<fs::path> tracks;
    for (std::size_t k = 0; k + 1 < std::size(cuts); ++k) {
        tracks.push_back(dir.file("t" + std::to_string(k + 1) + ".dtswav"));
        write_file(tracks.back(), carrier_wav(Bytes(disc.begin() + static_cast<std::ptrdiff_t>(cuts[k]),
                                                    disc.begin() + static_cast<std::ptrdiff_t>(cuts[k + 1]))));
    }
    for (const std::string format : {"flac", "wav"}) {
        std::vector<Bytes> files[3];
        for (const std::string jobs : {"1", "2", "3"}) {
            std::vector<std::string> args = gapless_args(format, tracks);
            args.insert(args.end(), {"--quiet", "--overwrite", "--jobs", jobs});
            ASSERT_EQ(run_orvane(args).status, 0) << format << jobs;
            for (const auto& track : tracks) {
                files[std::stoi(jobs) - 1].push_back(read_file(fs::path(track).replace_extension("." + format)));
            }
        }
        for (std::size_t k = 0; k < tracks.size(); ++k) {
            EXPECT_TRUE(files[0][k] == files[1][k] && files[0][k] == files[2][k]) << format << k;
        }
    }
}

// A track whose output cannot be written stops the disc with the writer's message, naming that track
// though its file is finished only once the next track is being read, however many threads encode:
// the track before stays whole and no track after it remains, even one finished first.
TEST_F(Gapless, FailedWriteOfATrackStopsTheDisc) {
    if (!fs::exists("/dev/full") || testing_windows_build()) GTEST_SKIP() << "no /dev/full";
    const std::vector<fs::path> tracks = write_tracks(disc(DtsPacking::Le14), ".dtswav");
    const std::pair<std::string, std::string> runs[] = {{"flac", "1"}, {"flac", "2"}, {"flac", "3"}, {"dts", "1"}, {"mka", "1"}};
    for (const auto& [format, jobs] : runs) {
        SCOPED_TRACE(format + jobs);
        fs::create_symlink("/dev/full", dir.file("t2." + format));
        std::vector<std::string> args = gapless_args(format, tracks);
        args.insert(args.end(), {"--overwrite", "--jobs", jobs});
        const auto result = run_orvane(args);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.err.rfind("Error: track 2 of 3 (" + tracks[1].string() + "): ", 0), 0u) << result.err;
        // Small tracks are noticed at the flush before the header update.
        if (format == "flac") {
            EXPECT_NE(result.err.find("): unable to flush FLAC output before STREAMINFO update\n"), std::string::npos)
                << result.err;
            EXPECT_EQ(streaminfo_total_samples(read_file(dir.file("t1.flac"))), samples_before(kCuts[0], 2048));
        }
        fs::remove(dir.file("t1." + format));
        std::vector<std::string> left = {"t1.dtswav", "t2." + format, "t2.dtswav", "t3.dtswav", "whole.dtswav"};
        std::sort(left.begin(), left.end());
        EXPECT_EQ(dir.names(), left);
        fs::remove(dir.file("t2." + format));
    }
}

// With a thread per track, a short track behind a failed one is finished first: it is not kept, as
// it would not have been begun on one thread.
TEST_F(Gapless, TrackFinishedBeforeAnEarlierOneFailsIsNotKept) {
    if (!fs::exists("/dev/full") || testing_windows_build()) GTEST_SKIP() << "no /dev/full";
    const Bytes clip = cached_dts_cd_clip(86).joined();
    const std::size_t cuts[] = {0, 4 * kSector, 60 * kSector, 61 * kSector};
    std::vector<fs::path> tracks;
    for (std::size_t k = 0; k < 3; ++k) {
        tracks.push_back(dir.file("t" + std::to_string(k + 1) + ".dtswav"));
        write_file(tracks.back(), carrier_wav(Bytes(clip.begin() + static_cast<std::ptrdiff_t>(cuts[k]),
                                                    clip.begin() + static_cast<std::ptrdiff_t>(cuts[k + 1]))));
    }
    fs::create_symlink("/dev/full", dir.file("t2.flac"));
    std::vector<std::string> args = gapless_args("flac", tracks);
    args.insert(args.end(), {"--overwrite", "--jobs", "3"});
    EXPECT_EQ(run_orvane(args).status, 2);
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"t1.dtswav", "t1.flac", "t2.dtswav", "t2.flac", "t3.dtswav"}));
}

// A sheet in a folder of its own, beside its image files.
fs::path write_sheet(const TempDir& dir, const std::string& folder, const std::string& sheet) {
    fs::create_directories(dir.file(folder));
    const fs::path path = dir.file(folder) / "disc.cue";
    write_file(path, Bytes(sheet.begin(), sheet.end()));
    return path;
}

Bytes sectors(const Bytes& payload, std::size_t from, std::size_t to) {
    return Bytes(payload.begin() + std::min(from * kSector, payload.size()),
                 payload.begin() + std::min(to * kSector, payload.size()));
}

TEST_F(Gapless, SheetCutsItsImageAsTheTracksItListsWithTheirTexts) {
    const Bytes payload = disc(DtsPacking::Le14);
    const std::vector<fs::path> tracks = write_tracks(payload, ".dtswav");
    write_file(dir.file("image") / "disc.wav", (fs::create_directories(dir.file("image")), carrier_wav(payload)));
    // Windows-1252 text; track 2's gap before its INDEX 01; a data track in a file never read.
    const fs::path sheet = write_sheet(dir, "image",
        "REM GENRE \"Art Rock\"\r\nREM DATE 1977\r\nREM DISCNUMBER 1\r\nREM TOTALDISCS 2\r\n"
        "PERFORMER \"The Band\"\r\nTITLE \"Caf\xE9 Live\"\r\nSONGWRITER \"Writer\"\r\nFILE \"disc.wav\" WAVE\r\n"
        "  TRACK 01 AUDIO\r\n    TITLE \"Intro: Part 1/2\"\r\n    INDEX 01 00:00:00\r\n"
        "  TRACK 02 AUDIO\r\n    TITLE \"Second\"\r\n    PERFORMER \"Guest\"\r\n    SONGWRITER \"Other\"\r\n"
        "    INDEX 00 00:00:02\r\n    INDEX 01 00:00:03\r\n"
        "  TRACK 03 AUDIO\r\n    INDEX 01 00:00:07\r\n"
        "FILE \"data.bin\" BINARY\r\n  TRACK 04 MODE1/2352\r\n    INDEX 01 00:00:00\r\n");
    const std::vector<fs::path> split = {dir.file("image") / "01 - Intro_ Part 1_2", dir.file("image") / "02 - Second",
                                         dir.file("image") / "03"};

    for (const std::string format : {"wav", "dts", "flac", "mka"}) {
        SCOPED_TRACE(format);
        const auto result = run_orvane({"--gapless", format, sheet.string()});
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_NE(result.out.find("CUE sheet is not UTF-8: its text was read as Windows-1252\n"
                                  "Data track 04 skipped\nImage file: "),
                  std::string::npos) << result.out;
        ASSERT_EQ(run_orvane(gapless_args(format, tracks)).status, 0);
        for (std::size_t k = 0; k < 3; ++k) {
            const fs::path from_sheet = fs::path(split[k]).concat("." + format);
            const fs::path from_tracks = fs::path(tracks[k]).replace_extension("." + format);
            if (format == "wav" || format == "dts") {
                EXPECT_TRUE(read_file(from_sheet) == read_file(from_tracks)) << k;
            } else if (format == "flac") {
                EXPECT_TRUE(ffmpeg_read_pcm24(dir, from_sheet) == ffmpeg_read_pcm24(dir, from_tracks)) << k;
            }
        }
        if (format == "flac") {
            const auto tags = run_program("metaflac", {"--no-utf8-convert", "--export-tags-to=-", fs::path(split[1]).concat(".flac").string()});
            EXPECT_NE(tags.out.find("TITLE=Second\nARTIST=Guest\nALBUM=Caf\xC3\xA9 Live\nALBUMARTIST=The Band\n"
                                    "GENRE=Art Rock\nDATE=1977\nTRACKNUMBER=2\nTRACKTOTAL=3\nDISCNUMBER=1\n"
                                    "DISCTOTAL=2\nCOMPOSER=Other\n"),
                      std::string::npos) << tags.out;
        } else if (format == "mka") {
            // Command-line tags replace the sheet's on every track.
            for (const auto& output : split) fs::remove(fs::path(output).concat(".mka"));
            ASSERT_EQ(run_orvane({"--gapless", "mka", sheet.string(), "--artist", "Cli", "--quiet"}).status, 0);
            const auto tags = run_program("ffprobe", {"-v", "error", "-show_entries", "format_tags", "-of",
                                                      "default=nw=1", fs::path(split[2]).concat(".mka").string()});
            EXPECT_NE(tags.out.find("TAG:ARTIST=Cli\n"), std::string::npos) << tags.out;
            EXPECT_NE(tags.out.find("TAG:COMPOSER=Writer\n"), std::string::npos) << tags.out;
            EXPECT_EQ(tags.out.find("TAG:TITLE="), std::string::npos) << tags.out;
        }
        for (const auto& track : tracks) fs::remove(fs::path(track).replace_extension("." + format));
    }
}

TEST_F(Gapless, SheetWithAFilePerTrackKeepsPregapsAndCutsInsideFiles) {
    const Bytes payload = disc(DtsPacking::Le16);
    const std::vector<fs::path> tracks = write_tracks(payload, ".dtswav");
    // Track 1 with a hidden pregap, track 2's gap at the end of the file before, track 3 inside its
    // file; raw CD audio files without a header.
    fs::create_directories(dir.file("files"));
    write_file(dir.file("files") / "a.bin", sectors(payload, 0, 3));
    write_file(dir.file("files") / "b.bin", sectors(payload, 3, 5));
    write_file(dir.file("files") / "c.bin", sectors(payload, 5, 1000));
    const fs::path sheet = write_sheet(dir, "files",
        "FILE a.bin BINARY\n TRACK 01 AUDIO\n  INDEX 00 00:00:00\n  INDEX 01 00:00:01\n TRACK 02 AUDIO\n"
        "  INDEX 00 00:00:02\nFILE b.bin BINARY\n  INDEX 01 00:00:00\n"
        "FILE c.bin BINARY\n TRACK 03 AUDIO\n  INDEX 01 00:00:02\n");
    const auto result = run_orvane({"--gapless", "wav", sheet.string()});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("Audio before track 01's INDEX 01 (a hidden pregap) is kept at the start of track 01\n"),
              std::string::npos) << result.out;
    ASSERT_EQ(run_orvane(gapless_args("wav", tracks)).status, 0);
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_TRUE(read_file(dir.file("files") / ("0" + std::to_string(k + 1) + ".wav")) ==
                    read_file(fs::path(tracks[k]).replace_extension(".wav"))) << k;
    }
}

// A UTF-16 sheet (what some Windows rippers write) is taken for a sheet and read like its UTF-8 twin,
// in the split and with --cue alike.
TEST_F(Gapless, Utf16SheetGivesTheOutputsOfItsUtf8Twin) {
    const Bytes image = carrier_wav(disc(DtsPacking::Le14));
    const std::string sheet = "PERFORMER \"@\"\r\nFILE \"disc.wav\" WAVE\r\n  TRACK 01 AUDIO\r\n    TITLE \"@\"\r\n"
                              "    INDEX 01 00:00:00\r\n  TRACK 02 AUDIO\r\n    INDEX 01 00:00:03\r\n";
    std::string utf8 = sheet;
    std::u16string utf16(sheet.begin(), sheet.end());
    for (std::size_t at; (at = utf8.find('@')) != std::string::npos;) utf8.replace(at, 1, "\xC3\x89t\xC3\xA9");
    for (std::size_t at; (at = utf16.find(u'@')) != std::u16string::npos;) utf16.replace(at, 1, u"\u00C9t\u00E9");
    std::string utf16_bytes = "\xFF\xFE";
    for (const char16_t unit : utf16) utf16_bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};

    for (const auto& [folder, text] : {std::pair{"utf8", utf8}, std::pair{"utf16", utf16_bytes}}) {
        const fs::path path = write_sheet(dir, folder, text);
        write_file(dir.file(folder) / "disc.wav", image);
        ASSERT_EQ(run_orvane({"--quiet", "--gapless", "flac", path.string()}).status, 0) << folder;
        const auto whole = run_orvane({(dir.file(folder) / "disc.wav").string(), (dir.file(folder) / "whole.flac").string(),
                                       "--cue", path.string(), "--quiet"});
        ASSERT_EQ(whole.status, 0) << whole.err;
    }
    for (const fs::path& name : {fs::path(u8"01 - \u00C9t\u00E9.flac"), fs::path("02.flac"), fs::path("whole.flac")}) {
        ASSERT_TRUE(fs::exists(dir.file("utf8") / name)) << name;
        EXPECT_TRUE(read_file(dir.file("utf8") / name) == read_file(dir.file("utf16") / name)) << name;
    }
    // Given as a plain input, it is named as a sheet, not searched for DTS.
    const auto result = run_orvane({(dir.file("utf16") / "disc.cue").string(), dir.file("x.flac").string()});
    EXPECT_NE(result.err.find("Error: input is a CUE sheet"), std::string::npos) << result.err;
}

// A sheet as rippers leave it: opened by another keyword, naming the WAV image in another letter
// case after it was compressed to FLAC. The split and --cue alike find the image and say so; the
// --cue FLAC carries the sheet's text, naming that FLAC as its file.
TEST_F(Gapless, SheetNamingItsImageBeforeCompressionFindsTheImage) {
    fs::create_directories(dir.file("disc"));
    const fs::path image = dir.file("disc") / "Album.flac";
    write_file(image, encode_lossless(carrier_wav(disc(DtsPacking::Le14)), LosslessTool::Flac));
    const std::string tracks = "  TRACK 01 AUDIO\n    TITLE \"One\"\n    INDEX 01 00:00:00\n"
                               "  TRACK 02 AUDIO\n    INDEX 01 00:00:03\n";
    const fs::path sheet = write_sheet(dir, "disc", "DISC_ID 1A0B\nFILE \"ALBUM.WAV\" WAVE\n" + tracks);
    const auto split = run_orvane({"--gapless", "FLAC", sheet.string()});
    ASSERT_EQ(split.status, 0) << split.err;
    EXPECT_NE(split.out.find("\nCUE sheet names ALBUM.WAV: using Album.flac\nImage file: "), std::string::npos)
        << split.out;
    EXPECT_TRUE(fs::exists(dir.file("disc") / "01 - One.flac"));

    const fs::path whole = dir.file("disc") / "whole.flac";
    const auto cue = run_orvane({image.string(), whole.string(), "--cue", sheet.string()});
    ASSERT_EQ(cue.status, 0) << cue.err;
    EXPECT_NE(cue.out.find("\nCUE sheet names ALBUM.WAV: using Album.flac\n"), std::string::npos) << cue.out;
    const auto tag = run_program("metaflac", {"--show-tag=CUESHEET", whole.string()});
    EXPECT_EQ(tag.out, "CUESHEET=DISC_ID 1A0B\nFILE \"whole.flac\" WAVE\n" + tracks + "\n");
}

TEST_F(Gapless, BadSheetsAreRefusedBeforeAnyOutputExists) {
    const Bytes payload = disc(DtsPacking::Le14);
    fs::create_directories(dir.file("bad"));
    write_file(dir.file("bad") / "disc.wav", carrier_wav(payload));
    write_file(dir.file("bad") / "silence.wav", carrier_wav(Bytes(8 * kSector, 0)));
    write_file(dir.file("bad") / "ten.wav", carrier_wav(sectors(payload, 0, 10)));
    for (const std::string name : {"two.flac", "two.wv"}) write_file(dir.file("bad") / name, Bytes(16, 0));
    const std::string tracks = " TRACK 01 AUDIO\n  INDEX 01 00:00:00\n TRACK 02 AUDIO\n  INDEX 01 ";
    const fs::path folder = dir.file("bad");
    const struct {
        std::string sheet;
        std::string error;
    } cases[] = {
        {"FILE gone.wav WAVE\n" + tracks + "00:00:03\n", "image file not found: " + (folder / "gone.wav").string()},
        {"FILE two.wav WAVE\n" + tracks + "00:00:03\n", "image file not found: " + (folder / "two.wav").string() +
                                                      " (several files could be meant: two.flac, two.wv)"},
        {"FILE disc.wav WAVE\n" + tracks + "10:00:00\n", "track 02 (02.flac) starts beyond the end of image file " +
                                                         (folder / "disc.wav").string()},
        // Ten sectors long: a track at its end would hold nothing.
        {"FILE ten.wav WAVE\n" + tracks + "00:00:10\n", "track 02 (02.flac) starts beyond the end of image file " +
                                                        (folder / "ten.wav").string()},
        {"FILE silence.wav WAVE\n" + tracks + "00:00:03\n",
         "image file " + (folder / "silence.wav").string() + ": no valid DTS sync word was detected"},
        {"FILE disc.wav WAVE\n TRACK 02 AUDIO\n  INDEX 01 00:00:00\n TRACK 01 AUDIO\n  INDEX 01 00:00:03\n",
         "CUE sheet tracks are out of order: track 01 follows track 02"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        const fs::path sheet = write_sheet(dir, "bad", c.sheet);
        const auto result = run_orvane({"--gapless", "flac", sheet.string()});
        EXPECT_EQ(result.status, 2);
        // The Windows build joins the sheet's folder and the image's name with its own separator.
        std::string err = result.err;
        std::replace(err.begin(), err.end(), '\\', '/');
        EXPECT_EQ(err, "Error: " + c.error + "\nNo output file should be trusted if conversion was interrupted.\n");
        EXPECT_FALSE(fs::exists(folder / "01.flac"));
    }
    // Given as a plain input, a sheet is named as what it is.
    const auto result = run_orvane({(folder / "disc.cue").string(), (folder / "x.flac").string()});
    EXPECT_NE(result.err.find("Error: input is a CUE sheet: convert the tracks it lists with --gapless "
                              "<flac|wav|dts|mka>\n"),
              std::string::npos) << result.err;
}

}  // namespace
}  // namespace orvane::test
