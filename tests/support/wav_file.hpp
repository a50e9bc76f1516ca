#pragma once

// RIFF and RF64 WAVE files with arbitrary chunk lists, for carrier tests.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/dts_clip.hpp"

namespace orvane::test {

struct WavChunk {
    std::string id;                              // four characters
    Bytes body;
    std::optional<std::uint32_t> declared_size;  // written instead of body.size() when set
};

// A 16-byte (or longer, for extensible) "fmt " body.
Bytes fmt_body(std::uint16_t format_tag, std::uint16_t channels, std::uint32_t sample_rate,
               std::uint16_t bits_per_sample);

// "RIFF"/"RF64" + size + "WAVE" + the chunks, each padded to an even size. The size field is the
// true one for RIFF, 0xFFFFFFFF for RF64, or riff_size when given.
Bytes build_wav(const std::string& riff_id, const std::vector<WavChunk>& chunks,
                std::optional<std::uint32_t> riff_size = std::nullopt);

// An RF64 "ds64" body: 64-bit RIFF size, data size and sample count, no table.
Bytes ds64_body(std::uint64_t riff_size, std::uint64_t data_size, std::uint64_t sample_count);

// A plain 16-bit stereo PCM carrier ("fmt " then "data") around the payload, RIFF or RF64
// (RF64 gets a "ds64" chunk and a data size of 0xFFFFFFFF).
Bytes carrier_wav(const Bytes& payload, std::uint32_t sample_rate = 44100, bool rf64 = false);

}  // namespace orvane::test
