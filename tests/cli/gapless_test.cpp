// End-to-end runs of --gapless: a disc cut into tracks at sector boundaries that fall inside frames
// converts into per-track outputs that join into the single-file conversion of the whole disc.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "decode/decoded_output.hpp"
#include "input/dts_packing.hpp"
#include "support/carriage.hpp"
#include "support/dts_clip.hpp"
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
            const Bytes cover = jpeg_header_only(300, 300);
            write_file(dir.file("cover.jpg"), cover);
            if (format == "flac" || format == "mka") args.insert(args.end(), {"--picture", dir.file("cover.jpg").string()});
            const auto result = run_orvane(args);
            ASSERT_EQ(result.status, 0) << result.err;
            EXPECT_EQ(result.err, "");  // no progress line when standard error is not a terminal
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
                }
            } else if (format == "dts") {
                Bytes joined;
                for (const auto& output : outputs) {
                    const Bytes bytes = read_file(output);
                    joined.insert(joined.end(), bytes.begin(), bytes.end());
                }
                EXPECT_TRUE(joined == read_file(whole));
            } else {
                const auto probe = run_program("ffprobe", {"-v", "error", "-select_streams", "a:0", "-show_entries",
                                                           "packet=pts", "-of", "csv=p=0", outputs[1].string()});
                EXPECT_EQ(probe.out.substr(0, 2), "0\n");  // each track timed from 0
                const auto tags = run_program("ffprobe", {"-v", "error", "-show_entries", "format_tags", "-of",
                                                          "default=nw=1", outputs[2].string()});
                EXPECT_NE(tags.out.find("=3\n"), std::string::npos) << tags.out;  // track 3 of 3
                const auto info = run_program("mkvinfo", {outputs[1].string()});
                EXPECT_NE(info.out.find("File name: cover.jpg\n"), std::string::npos) << info.out;
            }
            for (const auto& output : outputs) fs::remove(output);
        }
    }
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
}

}  // namespace
}  // namespace orvane::test
