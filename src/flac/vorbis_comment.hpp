#pragma once

// The FLAC VORBIS_COMMENT metadata block: fixed vendor string, the user's tags in a fixed key order,
// and a final ENCODER comment. It is always the last metadata block of the file.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/tag_set.hpp"

namespace orvane {

// "KEY=value" for each non-empty tag, TITLE to COPYRIGHT, then the extra tags in their order, then
// "ENCODER=<program id>".
std::vector<std::string> build_vorbis_comments(const TagSet& tags);

// The block body (vendor string and comments, little-endian lengths), without its header.
std::vector<std::uint8_t> build_vorbis_comment_body(const TagSet& tags);

// Writes header and body at the file's current position; refuses a body over the 24-bit limit.
void write_vorbis_comment_block(std::FILE* file, const TagSet& tags);

}  // namespace orvane
