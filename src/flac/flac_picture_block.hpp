#pragma once

// The FLAC PICTURE metadata block holding a front cover; written before VORBIS_COMMENT, which stays
// the last block.

#include <cstdint>
#include <cstdio>
#include <vector>

#include "common/cover_picture.hpp"

namespace orvane {

// The block body: type 3 (front cover), MIME type, empty description, size, depth, colours, bytes.
std::vector<std::uint8_t> build_flac_picture_body(const CoverPicture& picture);

// Writes header (not the last block) and body at the file's current position.
void write_flac_picture_block(std::FILE* file, const CoverPicture& picture);

}  // namespace orvane
