#pragma once

#include <cstddef>

// Packs 16-bit big-endian DTS frames into the four carriages a PCM carrier may hold.

#include "dts/dts_packing.hpp"
#include "support/dts_clip.hpp"

namespace orvane::test {

// Swaps every byte pair (a final odd byte stays).
Bytes swap_byte_pairs(const Bytes& bytes);

// One 16-bit big-endian frame as 14-bit words: each 16-bit word carries the next 14 bits in its low
// bits, the top two bits repeating bit 13; the last word is zero-filled. little_endian stores words low byte first.
Bytes pack_frame_14bit(const Bytes& frame_be16, bool little_endian);

// The inverse of pack_frame_14bit: the low 14 bits of each word, joined; a trailing partial byte is dropped.
Bytes unpack_frame_14bit(const Bytes& carried, bool little_endian);

// One frame in the given packing (Be16 unchanged, Le16 swapped, Be14/Le14 packed).
Bytes carry_frame(const Bytes& frame_be16, DtsPacking packing);

// All frames of the clip, each carried, back to back.
Bytes carry_clip(const DtsClip& clip, DtsPacking packing);

// `lead` zero bytes, the clip's first `frames` frames carried, then the first `extra` carried bytes
// of the frame after them: a payload with silence before it and a cut-off frame behind it.
Bytes carried_payload(const DtsClip& clip, DtsPacking packing, std::size_t lead, std::size_t frames,
                      std::size_t extra);

// The clip as FFmpeg's `spdif` muxer carries it (IEC 61937): every frame in a burst of its own period
// (2048 bytes for 512 samples), behind an 8-byte preamble and followed by zero stuffing, in 16-bit words
// little-endian or, with big_endian, big-endian. Throws std::runtime_error when FFmpeg refuses.
Bytes spdif_bursts(const DtsClip& clip, bool big_endian);

}  // namespace orvane::test
