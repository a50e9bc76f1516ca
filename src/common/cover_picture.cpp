#include "common/cover_picture.hpp"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "common/byte_order.hpp"
#include "platform/file_bytes.hpp"
#include "platform/utf8_path.hpp"

namespace orvane {
namespace {

[[noreturn]] void damaged(const char* format) {
    throw std::runtime_error(std::string("damaged ") + format + " header");
}

void read_png(std::span<const std::uint8_t> bytes, CoverPicture& picture) {
    // The signature, then IHDR, which must come first: length 13, width, height, depth, colour type.
    if (bytes.size() < 8 + 8 + 13 || read_be32(&bytes[8]) != 13 || std::memcmp(&bytes[12], "IHDR", 4) != 0) {
        damaged("PNG");
    }
    const std::uint8_t* ihdr = &bytes[16];
    const std::uint32_t bit_depth = ihdr[8];
    const std::uint8_t colour_type = ihdr[9];
    std::uint32_t samples = 0;
    switch (colour_type) {
        case 0: samples = 1; break;  // grey
        case 2: samples = 3; break;  // RGB
        case 3: samples = 3; break;  // palette of RGB entries
        case 4: samples = 2; break;  // grey and alpha
        case 6: samples = 4; break;  // RGB and alpha
        default: damaged("PNG");
    }
    if (bit_depth == 0 || bit_depth > 16) damaged("PNG");
    picture.mime_type = "image/png";
    picture.file_name = "cover.png";
    picture.width = read_be32(ihdr);
    picture.height = read_be32(ihdr + 4);
    // An indexed picture shows its palette's 8-bit entries; its index depth gives the palette size.
    picture.depth = colour_type == 3 ? 24 : samples * bit_depth;
    picture.colours = colour_type == 3 ? 1u << bit_depth : 0;
}

bool is_frame_header(std::uint8_t marker) {
    // SOF0..SOF15 less DHT (C4), JPG (C8) and DAC (CC), which share the range.
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

void read_jpeg(std::span<const std::uint8_t> bytes, CoverPicture& picture) {
    std::size_t at = 2;
    for (;;) {
        while (at < bytes.size() && bytes[at] == 0xFF && at + 1 < bytes.size() && bytes[at + 1] == 0xFF) ++at;
        if (at + 4 > bytes.size() || bytes[at] != 0xFF) damaged("JPEG");
        const std::uint8_t marker = bytes[at + 1];
        // Markers without a length: TEM and the restart markers.
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += 2;
            continue;
        }
        // The picture data starts (or the file ends) before any frame header said its size.
        if (marker == 0xDA || marker == 0xD9 || marker == 0xD8) damaged("JPEG");
        const std::uint32_t length = read_be16(&bytes[at + 2]);
        if (length < 2 || at + 2 + length > bytes.size()) damaged("JPEG");
        if (is_frame_header(marker)) {
            if (length < 8) damaged("JPEG");
            const std::uint8_t* sof = &bytes[at + 4];
            picture.mime_type = "image/jpeg";
            picture.file_name = "cover.jpg";
            picture.height = read_be16(sof + 1);
            picture.width = read_be16(sof + 3);
            picture.depth = std::uint32_t{sof[0]} * sof[5];
            return;
        }
        at += 2 + length;
    }
}

}  // namespace

CoverPicture parse_cover_picture(std::span<const std::uint8_t> bytes) {
    static constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    CoverPicture picture;
    if (bytes.size() >= 8 && std::memcmp(bytes.data(), kPngSignature, 8) == 0) {
        read_png(bytes, picture);
    } else if (bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF) {
        read_jpeg(bytes, picture);
    } else {
        throw std::runtime_error("not a JPEG or PNG picture");
    }
    if (picture.width == 0 || picture.height == 0 || picture.depth == 0) {
        throw std::runtime_error("empty picture in its header");
    }
    if (bytes.size() > kMaxCoverPictureSize) throw std::runtime_error("picture larger than 16 MiB");
    picture.bytes.assign(bytes.begin(), bytes.end());
    return picture;
}

CoverPicture load_cover_picture(const std::filesystem::path& path) {
    const std::string name = utf8_from_path(path);
    std::vector<std::uint8_t> bytes;
    try {
        const InputFile file = open_input_file(path);
        // Anything larger is refused below without reading it: a film given by mistake, say.
        bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(file.size(), kMaxCoverPictureSize + 1)));
        file.read_at(0, bytes.size(), bytes.data());
    } catch (const std::runtime_error&) {
        throw std::runtime_error("unable to read cover picture: " + name);
    }
    try {
        return parse_cover_picture(bytes);
    } catch (const std::runtime_error& error) {
        throw std::runtime_error("unusable cover picture: " + name + ": " + error.what());
    }
}

}  // namespace orvane
