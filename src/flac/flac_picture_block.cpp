#include "flac/flac_picture_block.hpp"

#include "common/byte_order.hpp"
#include "flac/flac_metadata_block.hpp"

namespace orvane {
namespace {

constexpr std::uint32_t kFrontCover = 3;

}  // namespace

std::vector<std::uint8_t> build_flac_picture_body(const CoverPicture& picture) {
    std::vector<std::uint8_t> body;
    body.reserve(32 + picture.mime_type.size() + picture.bytes.size());
    append_be(body, kFrontCover, 4);
    append_be(body, picture.mime_type.size(), 4);
    body.insert(body.end(), picture.mime_type.begin(), picture.mime_type.end());
    append_be(body, 0, 4);  // description
    for (const std::uint32_t value : {picture.width, picture.height, picture.depth, picture.colours}) {
        append_be(body, value, 4);
    }
    append_be(body, picture.bytes.size(), 4);
    body.insert(body.end(), picture.bytes.begin(), picture.bytes.end());
    return body;
}

void write_flac_picture_block(std::FILE* file, const CoverPicture& picture) {
    write_flac_block(file, FlacBlockType::Picture, build_flac_picture_body(picture), "error writing FLAC picture");
}

}  // namespace orvane
