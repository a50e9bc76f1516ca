#pragma once

// The tags of a WAV file's LIST/INFO chunk (written by rippers and by FFmpeg), as FLAC and Matroska
// outputs take them.

#include <cstdint>
#include <span>
#include <string>

#include "common/tag_set.hpp"

namespace orvane {

// The text of one INFO entry as UTF-8: cut at its first NUL; kept as it is when valid UTF-8, else
// read as Windows-1252, which is what such files were written in.
std::string info_text(std::span<const std::uint8_t> bytes);

// Reads the entries of a LIST chunk's body after its "INFO" type: INAM, IART, IPRD, ICRD, IGNR,
// ICMT, ITRK, ICOP and ICMS; others, empty entries and an entry cut short by the chunk's end are left.
TagSet riff_info_tags(std::span<const std::uint8_t> entries);

}  // namespace orvane
