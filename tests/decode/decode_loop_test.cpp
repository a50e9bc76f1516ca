#include <gtest/gtest.h>

#include <climits>
#include <sstream>

extern "C" {
#include <libavutil/mem.h>
}

#include "decode/decode_loop.hpp"
#include "decode/decoded_output.hpp"
#include "support/carriage.hpp"
#include "support/dts_clip.hpp"
#include "support/temp_dir.hpp"
#include "support/wav_file.hpp"

namespace orvane {
namespace {

using test::Bytes;

class DecodeLoop : public ::testing::Test {
protected:
    const test::DtsClip* clip = &test::cached_dts_cd_clip(12);
    test::TempDir dir;

    Bytes decode(const Bytes& file_image, const std::string& name, std::size_t piece_size) {
        const auto path = dir.file(name);
        DecodeTuning tuning;
        tuning.parser_piece_size = piece_size;
        const InputAnalysis analysis = analyse_input_bytes(file_image);
        std::ostringstream report;
        decode_to_pcm(file_source(analysis), TrackOutputs{{{path}}},
                      OutputSettings{name.ends_with(".flac") ? OutputKind::Flac : OutputKind::Wav}, report, tuning);
        return test::read_file(path);
    }
};


// Long streams reach the parser in pieces; where the pieces end must not matter.
TEST_F(DecodeLoop, PieceSizeDoesNotChangeTheOutput) {
    for (const DtsPacking packing : {DtsPacking::Be16, DtsPacking::Le16, DtsPacking::Be14, DtsPacking::Le14}) {
        SCOPED_TRACE(packing_name(packing));
        const Bytes carrier = test::carrier_wav(test::carry_clip(*clip, packing));
        const std::string tag = std::to_string(static_cast<int>(packing));
        const Bytes whole_wav = decode(carrier, "whole" + tag + ".wav", kDefaultParserPieceSize);
        EXPECT_EQ(whole_wav.size(), 44u + 12 * 512 * 6 * 3);
        for (const std::size_t piece : {std::size_t{1}, std::size_t{777}, std::size_t{4096}}) {
            EXPECT_EQ(decode(carrier, "piece" + tag + "-" + std::to_string(piece) + ".wav", piece), whole_wav) << piece;
        }
        EXPECT_EQ(decode(carrier, "piece" + tag + ".flac", 1000), decode(carrier, "whole" + tag + ".flac", kDefaultParserPieceSize));
    }
}

// A carrier's long silence behind the last frame reaches neither the parser's buffer nor the decoder's:
// with FFmpeg's allocations capped far below its size, the decode is the one without the silence.
TEST_F(DecodeLoop, SilenceBehindTheLastFrameTakesNoMemory) {
    Bytes stream = test::carry_clip(*clip, DtsPacking::Le14);
    const Bytes without = decode(test::carrier_wav(stream), "without.wav", kDefaultParserPieceSize);
    stream.resize(stream.size() + (std::size_t{32} << 20), 0);
    av_max_alloc(std::size_t{4} << 20);
    const Bytes with = decode(test::carrier_wav(stream), "with.wav", kDefaultParserPieceSize);
    av_max_alloc(INT_MAX);
    EXPECT_EQ(with, without);
}

TEST_F(DecodeLoop, EveryFrameIsDecodedAsFfmpegDecodesIt) {
    const Bytes dts = clip->joined();
    const std::vector<float> reference = test::ffmpeg_reference_decode(dir, dts);
    ASSERT_EQ(reference.size(), 12u * 512 * 6);
    const auto wav = dir.file("out.wav");
    test::write_file(wav, decode(dts, "direct.wav", kDefaultParserPieceSize));
    EXPECT_EQ(test::samples_off_reference(test::ffmpeg_read_pcm24(dir, wav), reference), 0u);
}

TEST_F(DecodeLoop, NoDecodableFrameCreatesNoFile) {
    // A sync word and header, but the frame is cut so short that the decoder refuses it.
    Bytes cut(clip->frames[0].begin(), clip->frames[0].begin() + 200);
    for (const bool flac : {false, true}) {
        const auto path = dir.file(flac ? "none.flac" : "none.wav");
        try {
            const InputAnalysis analysis = analyse_input_bytes(cut);
            std::ostringstream report;
            decode_to_pcm(file_source(analysis), TrackOutputs{{{path}}},
                          OutputSettings{flac ? OutputKind::Flac : OutputKind::Wav}, report);
            ADD_FAILURE() << "no error";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "DTS stream contained no decodable audio frames");
        }
        EXPECT_FALSE(std::filesystem::exists(path));
    }
}

}  // namespace
}  // namespace orvane
