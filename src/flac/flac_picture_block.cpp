#include "flac/flac_picture_block.hpp"

#include <stdexcept>

#include "common/byte_order.hpp"
#include "flac/vorbis_comment.hpp"

namespace orvane {
namespace {

constexpr std::uint32_t kFrontCover = 3;
constexpr std::uint8_t kPictureBlockType = 6;

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
    const std::vector<std::uint8_t> body = build_flac_picture_body(picture);
    if (body.size() > kMaxMetadataBlockBody) throw std::runtime_error("FLAC metadata is too large");
    const std::uint8_t header[4] = {kPictureBlockType, static_cast<std::uint8_t>((body.size() >> 16) & 0xFF),
                                    static_cast<std::uint8_t>((body.size() >> 8) & 0xFF),
                                    static_cast<std::uint8_t>(body.size() & 0xFF)};
    if (std::fwrite(header, 1, sizeof header, file) != sizeof header ||
        std::fwrite(body.data(), 1, body.size(), file) != body.size()) {
        throw std::runtime_error("error writing FLAC picture");
    }
}

}  // namespace orvane
