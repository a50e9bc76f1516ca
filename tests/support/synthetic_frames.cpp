#include "support/synthetic_frames.hpp"

namespace orvane::test {

std::vector<std::uint8_t> synthetic_core_frame(std::size_t size, std::uint8_t fill) {
    std::vector<std::uint8_t> frame(size, fill);
    const std::size_t fsize = size - 1;
    frame[0] = 0x7F;
    frame[1] = 0xFE;
    frame[2] = 0x80;
    frame[3] = 0x01;
    frame[4] = 0xFC;
    frame[5] = static_cast<std::uint8_t>(0x3C | ((fsize >> 12) & 0x03));
    frame[6] = static_cast<std::uint8_t>(fsize >> 4);
    frame[7] = static_cast<std::uint8_t>((fsize & 0x0F) << 4 | (fill & 0x0F));
    return frame;
}

std::vector<std::uint8_t> synthetic_extension_block(std::size_t size, bool wide) {
    std::vector<std::uint8_t> block(size, 0x33);
    block[0] = 0x64;
    block[1] = 0x58;
    block[2] = 0x20;
    block[3] = 0x25;
    // 8 user bits, 2 index bits, 1 size-type bit, header size - 1, block size - 1.
    std::uint64_t bits = 0;
    int count = 0;
    auto put = [&](std::uint64_t value, int width) {
        bits = bits << width | (value & ((std::uint64_t{1} << width) - 1));
        count += width;
    };
    put(0x00, 8);
    put(0, 2);
    put(wide ? 1 : 0, 1);
    put(15, wide ? 12 : 8);
    put(size - 1, wide ? 20 : 16);
    put(0, 48 - count);
    for (int i = 0; i < 6; ++i) block[4 + i] = static_cast<std::uint8_t>(bits >> (40 - 8 * i));
    return block;
}

void append(std::vector<std::uint8_t>& to, const std::vector<std::uint8_t>& bytes) {
    to.insert(to.end(), bytes.begin(), bytes.end());
}

}  // namespace orvane::test
