#pragma once

// Matroska files compared by their contents: each run gives them random UIDs.

#include <cstddef>

#include "support/dts_clip.hpp"

namespace orvane::test {

// Zeroes the elements between begin and end whose content differs from run to run (the UIDs, and the
// CRC-32 of the elements holding them); everything else (header, tags, every block, the cues) stays.
void blank_volatile_elements(Bytes& file, std::size_t begin, std::size_t end);

}  // namespace orvane::test
