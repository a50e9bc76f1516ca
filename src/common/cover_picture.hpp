#pragma once

// A front cover given with --picture: the file's bytes, unchanged, and what its header says, as a
// FLAC PICTURE block and a Matroska attachment need it.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace orvane {

// The picture must fit one FLAC metadata block (24-bit length) with its fixed fields and MIME type.
inline constexpr std::size_t kMaxCoverPictureSize = 0xFFFFFF - 64;

struct CoverPicture {
    std::string mime_type;  // "image/jpeg" or "image/png"
    std::string file_name;  // "cover.jpg" or "cover.png"
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t depth = 0;   // bits per pixel
    std::uint32_t colours = 0; // palette size of an indexed PNG, else 0
    std::vector<std::uint8_t> bytes;
};

// Reads the format and dimensions from a JPEG's frame header (SOFn) or a PNG's IHDR chunk; fails on
// any other content or a header that is cut short or names an empty picture.
CoverPicture parse_cover_picture(std::span<const std::uint8_t> bytes);

// Reads and parses the file; every failure names the path.
CoverPicture load_cover_picture(const std::filesystem::path& path);

}  // namespace orvane
