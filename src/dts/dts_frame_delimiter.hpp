#pragma once

// Frames delimited without FFmpeg's parser where the stream is regular. The parser scans every byte
// for the next sync word; where a frame declares its size and the next frame's sync word stands where
// the parser would look first, the answer is known without that scan. Anything else is left to the
// parser, so the frames are exactly the ones it would return.

#include <cstddef>
#include <cstdint>
#include <span>

namespace orvane {

// Size of the frame at the start of `data` as FFmpeg's DTS parser ends it, when the parser sits at
// that frame start having just returned the frame before: from the core sync word to the next core
// sync word of the same kind at or after the size the header declares (for 16-bit big-endian words,
// after an extension substream right behind the core frame). 0 when that cannot be told from the
// frame's own header and the bytes where the next sync word belongs: no core sync word at the start,
// a next sync word elsewhere (junk, damage, a cut), or not enough data to see it.
std::size_t regular_dts_frame_size(std::span<const std::uint8_t> data);

// True when `rest`, the whole remainder of a stream, begins with a core sync word and holds no other
// of its kind: with the parser at that frame start, the remainder is its last frame, which the parser
// would only return at the end-of-input flush after holding all of it.
bool is_last_dts_frame(std::span<const std::uint8_t> rest);

}  // namespace orvane
