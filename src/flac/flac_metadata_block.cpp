#include "flac/flac_metadata_block.hpp"

#include <stdexcept>

#include "common/byte_order.hpp"

namespace orvane {

std::array<std::uint8_t, 4> flac_block_header(FlacBlockType type, std::size_t body_size) {
    if (body_size > kMaxMetadataBlockBody) throw std::runtime_error("FLAC metadata is too large");
    constexpr std::uint8_t kLastBlock = 0x80;
    std::array<std::uint8_t, 4> header{};
    header[0] = static_cast<std::uint8_t>(static_cast<std::uint8_t>(type) |
                                          (type == FlacBlockType::VorbisComment ? kLastBlock : 0));
    write_be(header.data() + 1, body_size, 3);
    return header;
}

void write_flac_block(std::FILE* file, FlacBlockType type, std::span<const std::uint8_t> body, const char* failure) {
    const std::array<std::uint8_t, 4> header = flac_block_header(type, body.size());
    if (std::fwrite(header.data(), 1, header.size(), file) != header.size() ||
        std::fwrite(body.data(), 1, body.size(), file) != body.size()) {
        throw std::runtime_error(failure);
    }
}

}  // namespace orvane
