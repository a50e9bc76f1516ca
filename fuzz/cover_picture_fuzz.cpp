// The --picture header reader on arbitrary files, and the FLAC PICTURE block made of what it accepts.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>

#include "flac/flac_picture_block.hpp"
#include "fuzz_common.hpp"
#include "common/cover_picture.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orvane;
    const std::span<const std::uint8_t> bytes(data, size);
    CoverPicture picture;
    try {
        picture = parse_cover_picture(bytes);
    } catch (const std::runtime_error&) {
        return 0;
    }
    ORVANE_FUZZ_CHECK(picture.width > 0 && picture.height > 0 && picture.depth > 0);
    ORVANE_FUZZ_CHECK(picture.mime_type == "image/png" || picture.mime_type == "image/jpeg");
    ORVANE_FUZZ_CHECK(picture.bytes.size() == size && std::equal(bytes.begin(), bytes.end(), picture.bytes.begin()));
    const auto body = build_flac_picture_body(picture);
    ORVANE_FUZZ_CHECK(body.size() == 32 + picture.mime_type.size() + size);
    return 0;
}
