#include "support/picture_bytes.hpp"

namespace orvane::test {
namespace {

void put_be(Bytes& out, std::uint32_t value, int bytes) {
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

}  // namespace

Bytes png_header_only(std::uint32_t width, std::uint32_t height, std::uint8_t bit_depth, std::uint8_t colour_type) {
    Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    put_be(png, width, 4);
    put_be(png, height, 4);
    png.insert(png.end(), {bit_depth, colour_type, 0, 0, 0, 0, 0, 0, 0});
    png.insert(png.end(), {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82});
    return png;
}

Bytes jpeg_header_only(std::uint16_t width, std::uint16_t height, std::uint8_t components) {
    Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
    jpeg.insert(jpeg.end(), {0xFF, 0xC0});
    put_be(jpeg, 8 + 3u * components, 2);
    jpeg.push_back(8);
    put_be(jpeg, height, 2);
    put_be(jpeg, width, 2);
    jpeg.push_back(components);
    for (std::uint8_t c = 1; c <= components; ++c) jpeg.insert(jpeg.end(), {c, 0x11, 0});
    jpeg.insert(jpeg.end(), {0xFF, 0xD9});
    return jpeg;
}

}  // namespace orvane::test
