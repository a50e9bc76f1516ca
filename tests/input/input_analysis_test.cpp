#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <stdexcept>

#include <sys/stat.h>

#include "input/input_analysis.hpp"
#include "input/lossless_carrier.hpp"
#include "support/carriage.hpp"
#include "support/dts_clip.hpp"
#include "support/process_runner.hpp"
#include "support/lossless_encode.hpp"
#include "support/synthetic_frames.hpp"
#include "support/temp_dir.hpp"
#include "support/wav_file.hpp"
#include "support/error_text.hpp"

namespace orvane {
namespace {

using test::Bytes;
using test::WavChunk;

const Bytes kSync = {0x7F, 0xFE, 0x80, 0x01, 0xFC, 0x3C};

std::string analysis_error(const Bytes& file) {
    return test::error_message([&] { analyse_input_bytes(file); });
}

Bytes pcm_fmt(std::uint16_t tag = 1, std::uint16_t channels = 2, std::uint32_t rate = 44100,
              std::uint16_t bits = 16) {
    return test::fmt_body(tag, channels, rate, bits);
}

TEST(AnalyseInput, WavCarrierReportsItsFormatAndTheDataBodyAsPayload) {
    Bytes data(3000, 0);
    data.insert(data.end(), kSync.begin(), kSync.end());
    data.resize(4000, 0x11);
    const auto analysis = analyse_input_bytes(test::build_wav(
        "RIFF", {{"LIST", Bytes(7, 'x')}, {"fmt ", pcm_fmt(1, 1, 48000, 24)}, {"data", data}, {"data", kSync}}));
    EXPECT_TRUE(analysis.has_pcm_carrier);
    EXPECT_EQ(analysis.sample_rate, 48000u);
    EXPECT_EQ(analysis.channels, 1u);
    EXPECT_EQ(analysis.bits_per_sample, 24u);
    EXPECT_EQ(analysis.packing, DtsPacking::Be16);
    EXPECT_EQ(analysis.sync_offset, 3000u);
    EXPECT_EQ(analysis.payload, data);
}

TEST(AnalyseInput, OversizedDataChunkIsCutAtTheEndOfTheFile) {
    Bytes data = kSync;
    data.resize(100, 0x22);
    Bytes trailing_chunk = {'L', 'I', 'S', 'T', 2, 0, 0, 0, 'a', 'b'};
    for (const std::string riff : {"RIFF", "RF64"}) {
        Bytes file = test::build_wav(riff, {{"ds64", test::ds64_body(0, 0, 0)},
                                            {"fmt ", pcm_fmt()},
                                            {"data", data, 0xFFFFFFFFu}});
        file.insert(file.end(), trailing_chunk.begin(), trailing_chunk.end());
        const auto analysis = analyse_input_bytes(file);
        Bytes expected = data;
        expected.insert(expected.end(), trailing_chunk.begin(), trailing_chunk.end());
        EXPECT_EQ(analysis.payload, expected) << riff;
    }
}

TEST(AnalyseInput, OddSizedChunksAreFollowedByAPadByte) {
    const auto analysis =
        analyse_input_bytes(test::build_wav("RIFF", {{"junk", Bytes(5, 1)}, {"fmt ", pcm_fmt()}, {"data", kSync}}));
    EXPECT_EQ(analysis.payload, kSync);
}

TEST(AnalyseInput, ExtensibleFormatIsAcceptedWhateverItsSubFormat) {
    Bytes extensible = pcm_fmt(0xFFFE);
    extensible.resize(40, 0xEE);
    EXPECT_NO_THROW(analyse_input_bytes(test::build_wav("RIFF", {{"fmt ", extensible}, {"data", kSync}})));
}

TEST(AnalyseInput, CarrierFailuresCarryTheirMessages) {
    const std::string invalid = "invalid or unsupported WAV/RF64 file";
    Bytes short_riff = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 0, 0, 0, 0};
    EXPECT_EQ(analysis_error(short_riff), invalid);
    EXPECT_EQ(analysis_error(test::build_wav("RIFF", {{"data", kSync}, {"fmt ", pcm_fmt()}})), invalid);
    EXPECT_EQ(analysis_error(test::build_wav("RIFF", {{"fmt ", Bytes(14, 1)}, {"data", kSync}})), invalid);
    EXPECT_EQ(analysis_error(test::build_wav("RF64", {{"fmt ", pcm_fmt()}})), invalid);
    EXPECT_EQ(analysis_error(test::build_wav("RIFF", {{"fmt ", pcm_fmt(3)}, {"data", kSync}})),
              "WAV carrier is not PCM/Extensible PCM");
    // The last "fmt " chunk before the data wins, but every one of them is checked.
    EXPECT_EQ(analysis_error(test::build_wav("RIFF", {{"fmt ", pcm_fmt(3)}, {"fmt ", pcm_fmt()}, {"data", kSync}})),
              "WAV carrier is not PCM/Extensible PCM");
    EXPECT_EQ(analysis_error(test::build_wav("RIFF", {{"fmt ", pcm_fmt()}, {"data", {}}})),
              "input contains no audio data");
    EXPECT_EQ(analysis_error(test::build_wav("RIFF", {{"fmt ", pcm_fmt()}, {"data", Bytes(5000, 0)}})),
              "no valid DTS sync word was detected");
}

TEST(AnalyseInput, AnythingElseIsARawStream) {
    EXPECT_EQ(analysis_error({}), "input contains no audio data");

    Bytes avi = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I', ' '};
    avi.insert(avi.end(), kSync.begin(), kSync.end());
    const auto analysis = analyse_input_bytes(avi);
    EXPECT_FALSE(analysis.has_pcm_carrier);
    EXPECT_EQ(analysis.sync_offset, 12u);
    EXPECT_EQ(analysis.payload, avi);
    EXPECT_EQ(analysis.sample_rate, 0u);
    EXPECT_EQ(analysis.channels, 0u);
    EXPECT_EQ(analysis.bits_per_sample, 0u);

    EXPECT_EQ(analysis_error(Bytes(100, 0x7F)), "no valid DTS sync word was detected");

    // Leading digital silence of any length is passed over before the 1 MiB window begins; anything
    // else counts against it.
    constexpr std::size_t kMiB = std::size_t{1} << 20;
    Bytes silent_lead(2 * kMiB, 0);
    test::append(silent_lead, kSync);
    EXPECT_EQ(analyse_input_bytes(silent_lead).sync_offset, 2 * kMiB);
    silent_lead[kMiB - 1] = 1;
    EXPECT_EQ(analysis_error(silent_lead), "no valid DTS sync word was detected");
    EXPECT_EQ(analysis_error(Bytes(2 * kMiB, 0)), "no valid DTS sync word was detected");
}

// Other containers holding a DTS track are refused by name, never read as raw streams (their block
// headers would pass for part of the stream); bytes that only resemble a signature stay a raw stream.
TEST(AnalyseInput, OtherContainersAreRefusedByName) {
    test::TempDir dir;
    const Bytes clip = test::cached_dts_cd_clip(4).joined();
    const std::string dts = dir.file("in.dts").string();
    test::write_file(dts, clip);
    test::write_file(dir.file("in.wav"), test::carrier_wav(clip));
    const auto ffmpeg = [&](const std::string& in, std::vector<std::string> format) {
        std::vector<std::string> args = {"-v", "error", "-y", "-f", in == dts ? "dts" : "wav", "-i", in, "-strict", "-2"};
        args.insert(args.end(), format.begin(), format.end());
        return args;
    };
    const struct {
        std::string program;
        std::vector<std::string> args;  // the output path follows
        std::string container;
    } written[] = {
        {"mkvmerge", {"-q", dts, "-o"}, "a Matroska file"},
        {"ffmpeg", ffmpeg(dts, {"-c", "copy", "-f", "matroska"}), "a Matroska file"},
        {"ffmpeg", ffmpeg(dts, {"-c", "copy", "-f", "mp4"}), "an MP4 file"},
        {"ffmpeg", ffmpeg(dts, {"-c", "copy", "-f", "mov"}), "a QuickTime file"},
        {"ffmpeg", ffmpeg(dts, {"-c", "copy", "-f", "mpegts"}), "an MPEG-TS file"},
        {"ffmpeg", ffmpeg(dts, {"-c", "copy", "-f", "mpegts", "-mpegts_m2ts_mode", "1"}), "an MPEG-TS file"},
        {"ffmpeg", ffmpeg(dir.file("in.wav").string(), {"-c:a", "flac", "-f", "ogg"}), "an Ogg file"},
    };
    const auto refusal = [](const std::string& container) {
        return "input is " + container + ": ORVANE reads DTS in WAV/RF64, FLAC or WavPack rips, and raw DTS streams";
    };
    for (const auto& c : written) {
        std::vector<std::string> args = c.args;
        args.push_back(dir.file("container").string());
        const auto made = test::run_program(c.program, args);
        ASSERT_EQ(made.status, 0) << made.out << made.err;
        EXPECT_EQ(test::error_message([&] { analyse_input(dir.file("container")); }), refusal(c.container))
            << c.args.back();
    }

    // What no tool here writes with DTS inside: WebM, and a QuickTime file from before "ftyp".
    Bytes webm = {0x1A, 0x45, 0xDF, 0xA3, 0x9F, 0x42, 0x86, 0x81, 0x01, 0x42, 0x82, 0x84, 'w', 'e', 'b', 'm'};
    test::append(webm, clip);
    EXPECT_EQ(analysis_error(webm), refusal("a WebM file"));
    const auto box = [](const char* type, const Bytes& body) {
        const std::size_t size = 8 + body.size();
        Bytes bytes = {0, static_cast<std::uint8_t>(size >> 16), static_cast<std::uint8_t>(size >> 8),
                       static_cast<std::uint8_t>(size), 0, 0, 0, 0};
        std::copy_n(type, 4, bytes.begin() + 4);
        test::append(bytes, body);
        return bytes;
    };
    Bytes quicktime = box("wide", {});
    test::append(quicktime, box("mdat", clip));
    EXPECT_EQ(analysis_error(quicktime), refusal("a QuickTime file"));

    // A raw stream whose frame header spells "ftyp" where MP4 has it, or led by bytes that begin like
    // an EBML header or by two transport packets' sync bytes.
    Bytes frame = test::synthetic_core_frame(1000);
    std::copy_n("ftyp", 4, frame.begin() + 4);
    Bytes ebml_like = {0x1A, 0x45, 0xDF, 0xA3, 0x84, 0x42, 0x82, 0x81, 'x'};
    test::append(ebml_like, clip);
    Bytes two_packets(376, 0);
    two_packets[0] = two_packets[188] = 0x47;
    test::append(two_packets, clip);
    // Three of the five packets a transport stream of this size would begin with.
    Bytes three_packets(564, 0);
    three_packets[0] = three_packets[188] = three_packets[376] = 0x47;
    test::append(three_packets, clip);
    const std::pair<Bytes, std::uint64_t> raw_streams[] = {
        {frame, 0}, {ebml_like, 9}, {two_packets, 376}, {three_packets, 564}};
    for (const auto& [raw, sync] : raw_streams) {
        const auto analysis = analyse_input_bytes(raw);
        EXPECT_FALSE(analysis.has_pcm_carrier);
        EXPECT_EQ(analysis.sync_offset, sync);
    }
}

TEST(AnalyseInput, ReadsFilesAndRefusesWhatCannotBeRead) {
    test::TempDir dir;
    Bytes raw = test::synthetic_core_frame(512);
    test::write_file(dir.file("in.dts"), raw);
    EXPECT_EQ(analyse_input(dir.file("in.dts")).payload, raw);
    // Files too large to be read whole are mapped instead.
    EXPECT_EQ(Payload(open_input_file(dir.file("in.dts")).map(), 0, raw.size()), raw);

    EXPECT_EQ(test::error_message([&] { analyse_input(dir.file("missing.wav")); }), "unable to open input file");
    EXPECT_EQ(test::error_message([&] { analyse_input(dir.path); }), "unable to read input file");
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    EXPECT_EQ(test::error_message([&] { analyse_input(dir.file("fifo")); }), "unable to read input file");
}

// A DTS-CD carrier with silence before the clip and a cut frame behind it, as a rip holds it.
Bytes cd_carrier(DtsPacking packing) {
    return test::carrier_wav(test::carried_payload(test::cached_dts_cd_clip(12), packing, 3000, 11, 700));
}

Bytes sine_wav(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits, std::size_t frames) {
    Bytes data;
    for (std::size_t i = 0; i < frames * channels; ++i) {
        const auto value = static_cast<std::int32_t>(20000.0 * std::sin(0.05 * static_cast<double>(i / channels)));
        for (int b = 0; b < bits / 8; ++b) data.push_back(static_cast<std::uint8_t>(value << (bits - 16) >> (8 * b)));
    }
    return test::build_wav("RIFF", {{"fmt ", pcm_fmt(1, channels, rate, bits)}, {"data", data}});
}

// Where each frame of a fixed-blocksize FLAC file starts: its first four header bytes repeat.
std::vector<std::size_t> flac_frames(const Bytes& flac) {
    const std::size_t first = test::flac_first_frame(flac);
    std::vector<std::size_t> starts;
    for (std::size_t p = first; p + 4 <= flac.size(); ++p) {
        if (std::equal(flac.begin() + p, flac.begin() + p + 4, flac.begin() + first)) starts.push_back(p);
    }
    return starts;
}

TEST(AnalyseInput, LosslessCarriersGiveTheSamplesOfTheirWav) {
    test::TempDir dir;
    for (const auto packing : {DtsPacking::Be16, DtsPacking::Le16, DtsPacking::Be14, DtsPacking::Le14}) {
        const Bytes wav = cd_carrier(packing);
        const auto expected = analyse_input_bytes(wav);
        for (const auto tool : {test::LosslessTool::Flac, test::LosslessTool::WavPack}) {
            const bool flac = tool == test::LosslessTool::Flac;
            const Bytes file = test::encode_lossless(wav, tool);
            // The 14-bit little-endian one was once taken for a raw stream: a sync-like pattern lies in
            // its compressed bytes.
            test::write_file(dir.file("carrier"), file);
            const auto analysis = analyse_input(dir.file("carrier"));
            SCOPED_TRACE(std::string(flac ? "flac " : "wavpack ") + packing_name(packing));
            EXPECT_TRUE(analysis.has_pcm_carrier);
            EXPECT_EQ(analysis.carrier_format, flac ? CarrierFormat::Flac : CarrierFormat::WavPack);
            EXPECT_EQ(analysis.payload, expected.payload);
            EXPECT_EQ(analysis.packing, packing);
            EXPECT_EQ(analysis.sync_offset, 3000u);
            EXPECT_EQ(analysis.sample_rate, 44100u);
            EXPECT_EQ(analysis.bits_per_sample, 16u);
            EXPECT_EQ(analysis.channels, 2u);
            EXPECT_EQ(analysis.md5_verified, flac);
            // The same code reads from memory; an ID3v2 tag in front changes nothing, its size (144,
            // as a cover makes it, past one sync-safe byte) read right, and its footer skipped.
            Bytes tagged = {'I', 'D', '3', 4, 0, 0x10, 0, 0, 1, 16};
            tagged.resize(10 + 144 + 10, 0);
            test::append(tagged, file);
            EXPECT_EQ(analyse_input_bytes(tagged).payload, expected.payload);
        }
    }
}

// DTS and then silence compresses to almost nothing: what a carrier decodes to is bounded, and known
// to be too much before decoding when the file declares its length.
TEST(AnalyseInput, LosslessCarriersDecodingBeyondTheBoundAreRefused) {
    constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
    Bytes payload = test::carried_payload(test::cached_dts_cd_clip(12), DtsPacking::Le14, 3000, 11, 0);
    payload.resize(3 * kMiB, 0);
    const Bytes quiet = test::carrier_wav(payload);
    const auto decode = [](CarrierFormat format, const Bytes& file, std::uint64_t limit) {
        const ReadAt read_at = [&file](std::uint64_t offset, std::size_t count, std::uint8_t* destination) {
            std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(offset), count, destination);
        };
        InputAnalysis analysis;
        decode_lossless_carrier(format, file.size(), read_at, analysis, limit);
        return analysis.payload;
    };
    const Bytes flac = test::encode_lossless(quiet, test::LosslessTool::Flac);
    const Bytes wavpack = test::encode_lossless(quiet, test::LosslessTool::WavPack);
    for (const auto& [format, file] : {std::pair{CarrierFormat::Flac, flac}, std::pair{CarrierFormat::WavPack, wavpack}}) {
        const std::string name = format == CarrierFormat::Flac ? "FLAC" : "WavPack";
        EXPECT_EQ(decode(format, file, 3 * kMiB), payload) << name;
        EXPECT_EQ(test::error_message([&] { decode(format, file, 2 * kMiB); }),
                  name + " carrier decodes to more than 2 MiB: longer than any CD rip");
    }
    // Without a declared length the samples outgrow the room guessed from the file's size, up to the
    // bound and no further.
    Bytes undeclared = flac;
    undeclared[21] &= 0xF0;  // STREAMINFO's total sample count: the low 4 bits here and the next 4 bytes
    std::fill_n(undeclared.begin() + 22, 4, 0);
    ASSERT_LT(undeclared.size() * 2, quiet.size());
    EXPECT_EQ(analyse_input_bytes(undeclared).payload, payload);
    EXPECT_EQ(decode(CarrierFormat::Flac, undeclared, 3 * kMiB), payload);
    EXPECT_EQ(test::error_message([&] { decode(CarrierFormat::Flac, undeclared, 3 * kMiB - 4); }),
              "FLAC carrier decodes to more than 3145724 bytes: longer than any CD rip");
    // A rip that starts with 8 s of digital silence is decoded past its first 1 MiB.
    const std::size_t eight_seconds = 8 * 44100 * 4;
    const Bytes late = test::carrier_wav(test::carried_payload(test::cached_dts_cd_clip(12), DtsPacking::Le14,
                                                               eight_seconds, 11, 0));
    EXPECT_EQ(analyse_input_bytes(test::encode_lossless(late, test::LosslessTool::Flac)).sync_offset, eight_seconds);
}

TEST(AnalyseInput, DamagedLosslessCarriersAreRefused) {
    const Bytes flac = test::encode_lossless(cd_carrier(DtsPacking::Le14), test::LosslessTool::Flac, {"-b", "1152"});
    const auto frames = flac_frames(flac);
    ASSERT_GE(frames.size(), 5u);
    const std::string damaged = "FLAC carrier is damaged: ";
    Bytes wrong_md5 = flac;
    wrong_md5[8 + 18] ^= 1;
    EXPECT_EQ(analysis_error(wrong_md5), damaged + "MD5 mismatch");

    // Without an MD5 signature (and without a declared length) every frame's CRC and position still count.
    Bytes unsigned_flac = flac;
    std::fill(unsigned_flac.begin() + 8 + 18, unsigned_flac.begin() + 8 + 34, 0);
    EXPECT_NO_THROW(analyse_input_bytes(unsigned_flac));
    Bytes no_length = unsigned_flac;
    no_length[8 + 13] &= 0xF0;
    std::fill(no_length.begin() + 8 + 14, no_length.begin() + 8 + 18, 0);
    EXPECT_FALSE(analyse_input_bytes(no_length).md5_verified);

    Bytes flipped = unsigned_flac;
    flipped[frames[2] + 500] ^= 0x10;
    EXPECT_EQ(analysis_error(flipped), damaged + "frame at sample 2304 is corrupt");
    Bytes lost_header = unsigned_flac;
    lost_header[frames[2]] = 0;
    EXPECT_EQ(analysis_error(lost_header).rfind(damaged, 0), 0u) << analysis_error(lost_header);
    Bytes lost_frame = no_length;
    lost_frame.erase(lost_frame.begin() + static_cast<std::ptrdiff_t>(frames[2]),
                     lost_frame.begin() + static_cast<std::ptrdiff_t>(frames[3]));
    EXPECT_EQ(analysis_error(lost_frame), damaged + "samples missing at sample 2304");
    Bytes cut = unsigned_flac;
    cut.resize(cut.size() - 300);
    EXPECT_EQ(analysis_error(cut).rfind(damaged, 0), 0u) << analysis_error(cut);

    Bytes wavpack = test::encode_lossless(cd_carrier(DtsPacking::Le14), test::LosslessTool::WavPack);
    wavpack[wavpack.size() / 2] ^= 0x10;
    EXPECT_EQ(analysis_error(wavpack).rfind("WavPack carrier is damaged: ", 0), 0u) << analysis_error(wavpack);
    EXPECT_EQ(analysis_error(test::encode_lossless(cd_carrier(DtsPacking::Le14), test::LosslessTool::WavPack, {"-b384"})),
              "WavPack carrier is lossy (hybrid mode): it cannot hold a DTS stream");
}

TEST(AnalyseInput, LosslessCarriersOfOrdinaryAudioAreRefusedAsTheirWavIs) {
    const std::string no_sync = "no valid DTS sync word was detected";
    EXPECT_EQ(analysis_error(sine_wav(2, 44100, 16, 300000)), no_sync);
    EXPECT_EQ(analysis_error(test::encode_lossless(sine_wav(2, 44100, 16, 300000), test::LosslessTool::Flac)), no_sync);
    // Only 16-bit stereo at 44.1 or 48 kHz can be a DTS-CD: no other format is searched.
    for (const Bytes& wav : {sine_wav(1, 44100, 16, 1000), sine_wav(2, 96000, 16, 1000), sine_wav(2, 44100, 24, 1000)}) {
        EXPECT_EQ(analysis_error(test::encode_lossless(wav, test::LosslessTool::Flac)), no_sync);
        EXPECT_EQ(analysis_error(test::encode_lossless(wav, test::LosslessTool::WavPack)), no_sync);
    }
}

TEST(AnalyseInput, LosslessCarrierTagsAreKept) {
    const Bytes wav = cd_carrier(DtsPacking::Le14);
    const auto flac = analyse_input_bytes(test::encode_lossless(
        wav, test::LosslessTool::Flac,
        {"-T", "TITLE=Song", "-T", "ARTIST=A", "-T", "ARTIST=B", "-T", "TRACKNUMBER=3/12", "-T", "ALBUMARTIST=V",
         "-T", "REPLAYGAIN_TRACK_GAIN=-3 dB", "-T", "ISRC=XX123"}));
    EXPECT_EQ(flac.carrier_tags.title, "Song");
    EXPECT_EQ(flac.carrier_tags.artist, "A;B");
    EXPECT_EQ(flac.carrier_tags.track, "3");
    EXPECT_EQ(flac.carrier_tags.track_total, "12");
    EXPECT_EQ(flac.carrier_tags.album_artist, "V");
    // Tags without a field of their own travel under their name; loudness of the carrier does not.
    EXPECT_EQ(flac.carrier_tags.extra, (std::vector<std::pair<std::string, std::string>>{{"ISRC", "XX123"}}));

    const auto wavpack = analyse_input_bytes(test::encode_lossless(
        wav, test::LosslessTool::WavPack,
        {"-w", "Title=Song", "-w", "Year=1999", "-w", "Track=2/9", "-w", "Catalog=C1", "-w", "Odd~Name=x"}));
    EXPECT_EQ(wavpack.carrier_tags.title, "Song");
    EXPECT_EQ(wavpack.carrier_tags.date, "1999");
    EXPECT_EQ(wavpack.carrier_tags.track, "2");
    EXPECT_EQ(wavpack.carrier_tags.track_total, "9");
    // A name that no Vorbis comment may have stays behind.
    EXPECT_EQ(wavpack.carrier_tags.extra, (std::vector<std::pair<std::string, std::string>>{{"CATALOG", "C1"}}));
}

}  // namespace
}  // namespace orvane
