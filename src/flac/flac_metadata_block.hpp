#pragma once

// The header in front of every FLAC metadata block: the block's type, the flag of the last block and
// the body's length.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>

namespace orvane {

// A block body may be at most this long: the block header holds its length in 24 bits.
inline constexpr std::size_t kMaxMetadataBlockBody = 0xFFFFFF;

enum class FlacBlockType : std::uint8_t { StreamInfo = 0, VorbisComment = 4, CueSheet = 5, Picture = 6 };

// The header's four bytes. VORBIS_COMMENT is flagged as the last block: this writer always ends the
// metadata with it. Refuses a body over the 24-bit limit.
std::array<std::uint8_t, 4> flac_block_header(FlacBlockType type, std::size_t body_size);

// Writes header and body at the file's current position; a failed write raises `failure`.
void write_flac_block(std::FILE* file, FlacBlockType type, std::span<const std::uint8_t> body, const char* failure);

}  // namespace orvane
