#pragma once

// Carriers stored in a lossless audio format: a DTS-CD ripped to FLAC or WavPack. FFmpeg's demuxer
// and decoder give back the carrier's samples, which are laid out as a WAV "data" chunk would hold
// them and become the payload; everything after the analysis treats them as a WAV carrier's.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

#include "input/input_analysis.hpp"

namespace orvane {

// Copies `count` bytes of the input from `offset` to `destination`, or throws.
using ReadAt = std::function<void(std::uint64_t offset, std::size_t count, std::uint8_t* destination)>;

// FLAC or WavPack when the input of `size` bytes begins with that format's marker ("fLaC", "wvpk"),
// also behind an ID3v2 tag; nothing otherwise. The content decides, never the file's name.
std::optional<CarrierFormat> sniff_lossless_carrier(std::uint64_t size, const ReadAt& read_at);

// Decodes the whole carrier straight into `analysis.payload` and fills in its format, tags and
// integrity fields. Refuses carriers that cannot hold a DTS-CD (other than 16-bit stereo at 44.1 or
// 48 kHz, or lossy), and fails on any damage: a frame that fails its CRC, missing frames, a length
// other than declared, an MD5 signature that does not match. The sync search is left to the caller,
// but a payload whose first 1 MiB holds no sync word is refused as soon as that much is decoded.
// Samples beyond `limit` bytes are refused ("FLAC carrier decodes to more than 2 GiB: longer than any
// CD rip"): before any is decoded when the file declares its length, when they reach it otherwise.
void decode_lossless_carrier(CarrierFormat format, std::uint64_t size, const ReadAt& read_at,
                             InputAnalysis& analysis, std::uint64_t limit = kMaxHeldInputBytes);

}  // namespace orvane
