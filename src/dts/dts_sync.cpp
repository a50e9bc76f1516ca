#include "dts/dts_sync.hpp"

#include <algorithm>

namespace orvane {

const char* packing_name(DtsPacking packing) {
    switch (packing) {
        case DtsPacking::Be16: return "16-bit big-endian";
        case DtsPacking::Le16: return "16-bit little-endian";
        case DtsPacking::Be14: return "14-bit big-endian";
        case DtsPacking::Le14: return "14-bit little-endian";
        default: return "unknown";
    }
}

std::pair<DtsPacking, std::uint64_t> find_dts_sync(const std::uint8_t* data, std::size_t size,
                                                   std::uint64_t scan_limit) {
    const std::uint64_t window = std::min<std::uint64_t>(size, scan_limit);
    for (std::uint64_t p = 0; p + 6 <= window; ++p) {
        const std::uint8_t* b = data + p;
        if (b[0] == 0x7F && b[1] == 0xFE && b[2] == 0x80 && b[3] == 0x01) return {DtsPacking::Be16, p};
        if (b[0] == 0xFE && b[1] == 0x7F && b[2] == 0x01 && b[3] == 0x80) return {DtsPacking::Le16, p};
        if (b[0] == 0x1F && b[1] == 0xFF && b[2] == 0xE8 && b[3] == 0x00 && b[4] < 0x10) return {DtsPacking::Be14, p};
        if (b[0] == 0xFF && b[1] == 0x1F && b[2] == 0x00 && b[3] == 0xE8 && b[5] < 0x10) return {DtsPacking::Le14, p};
    }
    return {DtsPacking::Unknown, 0};
}

}  // namespace orvane
