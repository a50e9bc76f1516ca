#include "dts/dts_frame_delimiter.hpp"

#include <algorithm>
#include <cstring>

#include "common/byte_order.hpp"
#include "dts/dts_frame_walk.hpp"
#include "dts/dts_packing.hpp"

namespace orvane {
namespace {

// The parser knows a core sync word by its 32 bits and the fixed bits of the header word after it.
bool has_core_marker(const std::uint8_t* b, DtsPacking packing) {
    switch (packing) {
        case DtsPacking::Be16:
            return b[0] == 0x7F && b[1] == 0xFE && b[2] == 0x80 && b[3] == 0x01 && (b[4] & 0xFC) == 0xFC;
        case DtsPacking::Le16:
            return b[0] == 0xFE && b[1] == 0x7F && b[2] == 0x01 && b[3] == 0x80 && (b[5] & 0xFC) == 0xFC;
        case DtsPacking::Be14:
            return b[0] == 0x1F && b[1] == 0xFF && b[2] == 0xE8 && b[3] == 0x00 && b[4] == 0x07 &&
                   (b[5] & 0xF0) == 0xF0;
        case DtsPacking::Le14:
            return b[0] == 0xFF && b[1] == 0x1F && b[2] == 0x00 && b[3] == 0xE8 && (b[4] & 0xF0) == 0xF0 &&
                   b[5] == 0x07;
        case DtsPacking::Unknown:
            break;
    }
    return false;
}

constexpr std::size_t kMarkerSize = 6;
constexpr std::size_t kExtensionHeaderSize = 10;  // sync word and the bytes that hold its size

DtsPacking core_marker_packing(const std::uint8_t* b) {
    for (const DtsPacking packing : {DtsPacking::Be16, DtsPacking::Le16, DtsPacking::Be14, DtsPacking::Le14}) {
        if (has_core_marker(b, packing)) return packing;
    }
    return DtsPacking::Unknown;
}

std::uint64_t swapped_halves(std::uint64_t word) { return ((word & 0xFF00FF00) >> 8) | ((word & 0x00FF00FF) << 8); }
std::uint64_t fourteen_bit_bits(std::uint64_t word) { return ((word & 0x3FFF0000) >> 8) | ((word & 0x3FFF) >> 6); }

// The size the parser reads from the header: the core frame's size field, in 16-bit stream bytes.
std::size_t declared_core_size(const std::uint8_t* b, DtsPacking packing) {
    std::uint64_t bits = 0;
    switch (packing) {
        case DtsPacking::Be16: bits = read_be32(b + 4); break;
        case DtsPacking::Le16: bits = swapped_halves(read_be32(b + 4)); break;
        case DtsPacking::Be14: bits = fourteen_bit_bits(read_be32(b + 6)); break;
        case DtsPacking::Le14: bits = fourteen_bit_bits(swapped_halves(read_be32(b + 6))); break;
        case DtsPacking::Unknown: return 0;
    }
    return static_cast<std::size_t>(((bits >> 4) & 0x3FFF) + 1);
}

bool has_extension_marker(const std::uint8_t* b) {
    return b[0] == 0x64 && b[1] == 0x58 && b[2] == 0x20 && b[3] == 0x25;
}

// The extension substream's size field as the parser reads it (a wide field when its flag is set).
std::size_t declared_extension_size(const std::uint8_t* b) {
    const std::uint64_t bits = read_be(b + 4, 6);
    return static_cast<std::size_t>((bits & 0x2000000000) ? ((bits >> 5) & 0xFFFFF) + 1 : ((bits >> 13) & 0xFFFF) + 1);
}

// The first core sync word of the kind `data` starts with in [from, to]; 0 when none stands there in
// full. A frame's few hundred candidate positions are compared four bytes at a time; over long
// stretches (a carrier's silence) memchr finds the candidates by the first byte at memory speed.
std::size_t next_marker_between(std::span<const std::uint8_t> data, DtsPacking packing, std::size_t from,
                                std::size_t to) {
    if (data.size() < kMarkerSize) return 0;
    to = std::min(to, data.size() - kMarkerSize);
    const std::uint8_t* const begin = data.data();
    std::uint32_t sync;
    std::memcpy(&sync, begin, sizeof sync);
    constexpr std::size_t kLongStretch = 4096;
    for (std::size_t at = from; at <= to; ++at) {
        if (to - at >= kLongStretch) {
            const void* found = std::memchr(begin + at, begin[0], to - at + 1);
            if (found == nullptr) return 0;
            at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - begin);
        }
        std::uint32_t candidate;
        std::memcpy(&candidate, begin + at, sizeof candidate);
        if (candidate == sync && has_core_marker(begin + at, packing)) return at;
    }
    return 0;
}

}  // namespace

std::size_t regular_dts_frame_size(std::span<const std::uint8_t> data) {
    if (data.size() < kExtensionHeaderSize) return 0;
    const DtsPacking packing = core_marker_packing(data.data());
    if (packing == DtsPacking::Unknown) return 0;
    const std::size_t declared = declared_core_size(data.data(), packing);
    // A size that small points into the header itself, where the parser reads differently.
    if (declared < kExtensionHeaderSize) return 0;
    if (is_16bit(packing)) {
        if (packing == DtsPacking::Be16 && declared + kExtensionHeaderSize <= data.size() &&
            has_extension_marker(data.data() + declared)) {
            // The parser takes an extension substream right behind a big-endian core frame into it.
            const std::size_t whole = declared + declared_extension_size(data.data() + declared);
            return next_marker_between(data, packing, whole, whole);
        }
        return next_marker_between(data, packing, declared, declared);
    }
    // 14-bit words hold the declared bytes in more carried bytes, and the parser accepts the next sync
    // word anywhere from the declared size on: the first one up to the carried extent ends the frame.
    const std::size_t carried = dts_frame_extent(data, packing);
    if (carried < declared) return 0;
    return next_marker_between(data, packing, declared, carried);
}

bool is_last_dts_frame(std::span<const std::uint8_t> rest) {
    if (rest.size() < kMarkerSize || core_marker_packing(rest.data()) == DtsPacking::Unknown) return false;
    return next_marker_between(rest, core_marker_packing(rest.data()), 1, rest.size()) == 0;
}

}  // namespace orvane
