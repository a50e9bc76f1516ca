#pragma once

// Hand-made DTS frame shapes for tests that only walk or search the stream (no decoding).

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvane::test {

// A 16-bit big-endian core frame of `size` bytes: sync word, the frame-size field, filler.
std::vector<std::uint8_t> synthetic_core_frame(std::size_t size, std::uint8_t fill = 0x55);

// A DTS-HD extension substream block of `size` bytes (wide size fields when `wide`).
std::vector<std::uint8_t> synthetic_extension_block(std::size_t size, bool wide = false);

void append(std::vector<std::uint8_t>& to, const std::vector<std::uint8_t>& bytes);

}  // namespace orvane::test
