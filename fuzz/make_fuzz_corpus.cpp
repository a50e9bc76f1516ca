// Writes the seed corpora of the fuzz targets: real DTS carriers of every packing, made with FFmpeg's
// encoder. Usage: make-fuzz-corpus <directory>; creates <directory>/{input,lossless,frame_walk,operation,cue,picture,delimiter}.

#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "dts/dts_packing.hpp"
#include "support/carriage.hpp"
#include "support/dts_clip.hpp"
#include "support/lossless_encode.hpp"
#include "support/picture_bytes.hpp"
#include "support/synthetic_frames.hpp"
#include "support/temp_dir.hpp"
#include "support/wav_file.hpp"

namespace fs = std::filesystem;
using namespace orvane;
using test::Bytes;

namespace {

int seeds_written = 0;

void seed(const fs::path& directory, const std::string& name, const Bytes& bytes) {
    test::write_file(directory / name, bytes);
    ++seeds_written;
}

Bytes silence_then(std::size_t zeros, const Bytes& stream, std::size_t tail) {
    Bytes bytes(zeros, 0);
    test::append(bytes, stream);
    bytes.resize(bytes.size() + tail, 0);
    return bytes;
}

std::string packing_tag(DtsPacking packing) {
    switch (packing) {
        case DtsPacking::Be16: return "be16";
        case DtsPacking::Le16: return "le16";
        case DtsPacking::Be14: return "be14";
        case DtsPacking::Le14: return "le14";
        default: return "unknown";
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-fuzz-corpus <directory>\n");
        return 1;
    }
    try {
        const fs::path root = argv[1];
        const fs::path input = root / "input";
        const fs::path walk = root / "frame_walk";
        const fs::path operation = root / "operation";
        const fs::path lossless = root / "lossless";
        const fs::path cue = root / "cue";
        const fs::path picture = root / "picture";
        const fs::path delimiter = root / "delimiter";
        for (const auto& d : {input, walk, operation, lossless, cue, picture, delimiter}) fs::create_directories(d);
        seed(picture, "cover.png", test::png_header_only(500, 500));
        seed(picture, "indexed.png", test::png_header_only(16, 16, 4, 3));
        seed(picture, "cover.jpg", test::jpeg_header_only(600, 600));

        // Short clips keep every execution fast: a DTS-CD shape and one with small frames.
        struct Clip {
            std::string name;
            test::DtsClip clip;
        };
        test::DtsClipSpec small;
        small.sample_rate = 48000;
        small.channels = 2;
        small.bit_rate = 320000;  // about 430-byte frames
        small.frames = 3;
        const std::vector<Clip> clips = {{"cd", test::encode_dts_cd_clip(3)}, {"small", test::encode_dts_clip(small)}};

        for (const Clip& c : clips) {
            for (const DtsPacking packing : {DtsPacking::Be16, DtsPacking::Le16, DtsPacking::Be14, DtsPacking::Le14}) {
                const std::string base = c.name + "-" + packing_tag(packing);
                const Bytes stream = test::carry_clip(c.clip, packing);
                const Bytes padded = silence_then(64, stream, 100);
                Bytes cut = stream;
                cut.resize(cut.size() - c.clip.frames.back().size() / 2);  // last frame cut short

                seed(operation, base + ".dts", stream);
                seed(operation, base + "-riff.wav", test::carrier_wav(padded, c.clip.sample_rate));
                seed(operation, base + "-rf64.wav", test::carrier_wav(stream, c.clip.sample_rate, true));
                seed(operation, base + "-cut.wav", test::carrier_wav(cut, c.clip.sample_rate));
                // A sync word at an odd offset: byte pairs are counted from it, not from the chunk.
                seed(operation, base + "-odd.wav", test::carrier_wav(silence_then(1, stream, 1), c.clip.sample_rate));

                seed(input, base + "-riff.wav", test::carrier_wav(padded, c.clip.sample_rate));
                seed(input, base + "-rf64.wav", test::carrier_wav(stream, c.clip.sample_rate, true));
                seed(input, base + ".dts", Bytes(stream.begin(), stream.begin() + 64));
                // Rips stored as FLAC and WavPack, as their tools write them.
                if (c.name == "cd") {
                    const Bytes wav = test::carrier_wav(padded, c.clip.sample_rate);
                    const Bytes flac = test::encode_lossless(wav, test::LosslessTool::Flac, {"-b", "1152"});
                    const Bytes wavpack = test::encode_lossless(wav, test::LosslessTool::WavPack);
                    seed(input, base + ".flac", flac);
                    seed(input, base + ".wv", wavpack);
                    seed(lossless, base + ".flac", flac);
                    seed(lossless, base + ".wv", wavpack);
                    seed(operation, base + ".flac", flac);
                    seed(operation, base + ".wv", wavpack);
                }
            }
            // The walk reads 16-bit streams; the first byte picks the byte order.
            Bytes be = {0};
            test::append(be, silence_then(0, c.clip.joined(), 40));
            seed(walk, c.name + "-be16", be);
            Bytes le = {1};
            test::append(le, test::carry_clip(c.clip, DtsPacking::Le16));
            seed(walk, c.name + "-le16", le);
        }

        // Streams long enough for frames to be delimited directly before the last 4 KiB, which the parser
        // always reads: clean, padded, damaged, cut, as bursts, offered whole, in pieces and as two tracks.
        test::DtsClipSpec longer = small;
        longer.frames = 24;
        for (const auto& [name, clip] : {std::pair{"cd", test::encode_dts_cd_clip(8)}, {"small", test::encode_dts_clip(longer)}}) {
            for (const DtsPacking packing : {DtsPacking::Be16, DtsPacking::Le16, DtsPacking::Be14, DtsPacking::Le14}) {
                const Bytes stream = test::carry_clip(clip, packing);
                Bytes damaged = stream;
                damaged[damaged.size() / 2] ^= 0xFF;
                damaged[damaged.size() / 3 + 7] ^= 0x55;
                Bytes cut = stream;
                cut.resize(cut.size() - 100);
                const std::string base = std::string(name) + "-" + packing_tag(packing);
                const auto delimited = [&](const std::string& kind, std::uint8_t piece, std::uint8_t split, const Bytes& bytes) {
                    Bytes seeded = {piece, split};
                    test::append(seeded, bytes);
                    seed(delimiter, base + "-" + kind, seeded);
                };
                delimited("clean", 0, 0, stream);
                delimited("padded", 0, 0, silence_then(33, stream, 600));
                delimited("damaged", 0, 0, damaged);
                delimited("cut-pieces", 7, 0, cut);
                delimited("two-tracks", 0, 128, stream);
            }
            for (const bool big_endian : {true, false}) {
                Bytes bursts = {0, 0};
                test::append(bursts, test::spdif_bursts(clip, big_endian));
                seed(delimiter, std::string(name) + (big_endian ? "-bursts-be" : "-bursts-le"), bursts);
            }
        }

        // Extension blocks and gaps between core frames make the walk resynchronise.
        Bytes mixed = {0};
        test::append(mixed, test::synthetic_core_frame(200));
        test::append(mixed, test::synthetic_extension_block(64));
        test::append(mixed, Bytes(30, 0xAA));
        test::append(mixed, test::synthetic_core_frame(120));
        test::append(mixed, test::synthetic_extension_block(300, true));
        seed(walk, "mixed-be16", mixed);

        // Chunk lists the carrier walk must get through: odd sizes, an extensible format, a lying size.
        const Bytes frame = test::synthetic_core_frame(96);
        seed(input, "chunks.wav",
             test::build_wav("RIFF", {{"JUNK", Bytes(3, 1)},
                                      {"fmt ", test::fmt_body(0xFFFE, 2, 44100, 16)},
                                      {"LIST", Bytes(5, 2)},
                                      {"data", frame, 0x7FFFFFFFu}}));
        // Tags in an INFO list after the samples, one entry in Windows-1252.
        const Bytes info = {'I', 'N', 'F', 'O', 'I', 'N', 'A', 'M', 5, 0, 0, 0, 'C', 'a', 'f', 0xE9, 0, 0,
                            'I', 'T', 'R', 'K', 4, 0, 0, 0, '3', '/', '9', 0};
        seed(input, "info.wav",
             test::build_wav("RIFF", {{"fmt ", test::fmt_body(1, 2, 44100, 16)}, {"data", frame}, {"LIST", info}}));
        seed(input, "fmt-after-data.wav",
             test::build_wav("RIFF", {{"data", frame}, {"fmt ", test::fmt_body(1, 2, 44100, 16)}}));
        // Sheets: one image with pregaps, a FILE per track with a gap in the file before, Windows-1252, UTF-16.
        const auto text = [](const std::string& t) { return Bytes(t.begin(), t.end()); };
        seed(cue, "image.cue",
             text("\xEF\xBB\xBFREM GENRE \"Rock\"\r\nREM DATE 1999\r\nCATALOG 0123456789012\r\n"
                  "PERFORMER \"Band\"\r\nTITLE \"Disc\"\r\nFILE \"disc.wav\" WAVE\r\n  TRACK 01 AUDIO\r\n"
                  "    TITLE \"One\"\r\n    ISRC ABCDE1234567\r\n    INDEX 00 00:00:00\r\n    INDEX 01 00:02:00\r\n"
                  "  TRACK 02 AUDIO\r\n    FLAGS DCP\r\n    INDEX 00 00:10:00\r\n    INDEX 01 00:12:10\r\n"));
        seed(cue, "per-track.cue",
             text("FILE a.wav WAVE\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n TRACK 02 AUDIO\n  INDEX 00 00:20:00\n"
                  "FILE b.wav WAVE\n  INDEX 01 00:00:00\n  INDEX 02 00:01:00\n TRACK 03 MODE1/2352\n"
                  "  SONGWRITER x\n  INDEX 01 00:05:00\n"));
        seed(cue, "cp1252.cue", text("TITLE \"\x80\xE9\"\nFILE a.wav WAVE\n TRACK 01 AUDIO\n  INDEX 01 00:00:00"));
        // UTF-16 after its byte-order mark, as some Windows rippers write it.
        Bytes utf16{0xFF, 0xFE};
        for (const char16_t unit : std::u16string(u"TITLE \"\u00E9\U0001F3B5\"\r\nFILE a.wav WAVE\r\n TRACK 01 AUDIO\r\n"
                                                  u"  INDEX 01 00:00:00\r\n")) {
            utf16.push_back(static_cast<std::uint8_t>(unit & 0xFF));
            utf16.push_back(static_cast<std::uint8_t>(unit >> 8));
        }
        seed(cue, "utf16.cue", utf16);
        std::printf("%d seeds in %s\n", seeds_written, root.c_str());
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make-fuzz-corpus: %s\n", error.what());
        return 1;
    }
}
