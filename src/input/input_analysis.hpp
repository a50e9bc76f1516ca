#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "dts/dts_packing.hpp"
#include "common/tag_set.hpp"
#include "input/payload.hpp"

namespace orvane {

// How a PCM carrier was stored: a WAV file, or a lossless format decoded back to the same samples.
enum class CarrierFormat { Wav, Flac, WavPack };

struct InputAnalysis {
    // The carrier's "data" chunk body (cut to the bytes present) or decoded samples, or the whole file
    // for a raw stream.
    Payload payload;
    // The payload came from a PCM carrier: a WAV file, or FLAC or WavPack decoded to what its WAV would
    // hold; false for a raw stream.
    bool has_pcm_carrier = false;
    CarrierFormat carrier_format = CarrierFormat::Wav;
    std::uint32_t sample_rate = 0;
    std::uint16_t bits_per_sample = 0;
    std::uint16_t channels = 0;
    DtsPacking packing = DtsPacking::Unknown;
    std::uint64_t sync_offset = 0;
    // The carrier's decoded samples matched the MD5 signature stored with them.
    bool md5_verified = false;
    // Tags the carrier file holds (FLAC Vorbis comments, WavPack APEv2), for the tagged outputs.
    TagSet carrier_tags;
    // Where the payload begins in the input file, for positions reported to the user.
    std::uint64_t payload_offset = 0;
    // The "data" chunk's size as its header (or an RF64 "ds64" chunk) declares it; 0 when unknown,
    // as for a raw stream or a plain RIFF file written by a streaming writer (0xFFFFFFFF).
    std::uint64_t declared_payload_size = 0;
};

// The most of its own memory the program gives to any one input: more than twice the longest CD
// (80 minutes are 847 MB of samples). A lossless carrier decoding to more is refused (hours of
// silence compress to almost nothing); a larger WAV, RF64 or raw file is mapped instead of read.
inline constexpr std::uint64_t kMaxHeldInputBytes = std::uint64_t{2} << 30;

// Bytes of digital silence (zero bytes) that `bytes` begins with; counting resumes at `known`, the
// count an earlier, shorter view of the same bytes gave.
std::uint64_t leading_silence(std::span<const std::uint8_t> bytes, std::uint64_t known = 0);

// The payload's first DTS sync word and its offset from the payload's start, or (Unknown, 0). A rip
// may begin with seconds of digital silence: however long, it is passed over before the search's
// window of kInputSyncScanLimit bytes begins.
std::pair<DtsPacking, std::uint64_t> find_payload_sync(std::span<const std::uint8_t> payload);

// What the user must be told of an input cut short (its carrier declares more data than the file
// holds: an interrupted copy), or "" for a whole one.
std::string cut_short_warning(const InputAnalysis& analysis);

// Reads the whole file once and finds the first DTS sync word in its carried bytes.
InputAnalysis analyse_input(const std::filesystem::path& input_path);

// Parses a file image already in memory; the payload stays in that buffer, without a second copy.
InputAnalysis analyse_input_bytes(std::vector<std::uint8_t> file_bytes);

// The DTS stream as every operation reads it: the payload from the first sync word on.
inline std::span<const std::uint8_t> dts_stream(const InputAnalysis& analysis) {
    if (analysis.sync_offset >= analysis.payload.size()) return {};
    return analysis.payload.span().subspan(analysis.sync_offset);
}

}  // namespace orvane
