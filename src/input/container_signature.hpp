#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace orvane {

// What a file is when its first bytes carry the signature of a container this program does not
// read (Matroska/WebM, MP4/QuickTime, MPEG-TS, Ogg), as a phrase for a message ("a Matroska file");
// nothing otherwise. Such a file holds its DTS in blocks with headers between them, so it must never
// be taken for a raw stream.
std::optional<std::string> other_container(std::span<const std::uint8_t> file);

}  // namespace orvane
