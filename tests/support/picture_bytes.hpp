#pragma once

// The smallest files that name themselves as pictures: headers only, which is all that is read of
// them; no picture data.

#include <cstdint>

#include "support/dts_clip.hpp"

namespace orvane::test {

// Signature, IHDR (CRC left zero) and IEND.
Bytes png_header_only(std::uint32_t width, std::uint32_t height, std::uint8_t bit_depth = 8,
                      std::uint8_t colour_type = 2);

// SOI, a JFIF APP0 segment, a baseline frame header (SOF0) and EOI.
Bytes jpeg_header_only(std::uint16_t width, std::uint16_t height, std::uint8_t components = 3);

}  // namespace orvane::test
