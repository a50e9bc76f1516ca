#pragma once

// Integers as files store them, in a stated byte order whatever the machine's own, and the byte
// pairs of 16-bit words exchanged.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <utility>
#include <vector>

namespace orvane {

enum class ByteOrder { LittleEndian, BigEndian };

// The `bytes` bytes at `p` as one unsigned value.
inline std::uint64_t read_le(const std::uint8_t* p, int bytes) {
    std::uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = value << 8 | p[i];
    return value;
}
inline std::uint64_t read_be(const std::uint8_t* p, int bytes) {
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value = value << 8 | p[i];
    return value;
}

inline std::uint16_t read_le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(read_le(p, 2)); }
inline std::uint32_t read_le32(const std::uint8_t* p) { return static_cast<std::uint32_t>(read_le(p, 4)); }
inline std::uint64_t read_le64(const std::uint8_t* p) { return read_le(p, 8); }
inline std::uint16_t read_be16(const std::uint8_t* p) { return static_cast<std::uint16_t>(read_be(p, 2)); }
inline std::uint32_t read_be32(const std::uint8_t* p) { return static_cast<std::uint32_t>(read_be(p, 4)); }
inline std::uint16_t read_u16(const std::uint8_t* p, ByteOrder order) {
    return order == ByteOrder::LittleEndian ? read_le16(p) : read_be16(p);
}

// The low `bytes` bytes of `value` at `out`.
inline void write_le(std::uint8_t* out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}
inline void write_be(std::uint8_t* out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * (bytes - 1 - i)));
}

inline void write_le16(std::uint8_t* out, std::uint16_t value) { write_le(out, value, 2); }
inline void write_le32(std::uint8_t* out, std::uint32_t value) { write_le(out, value, 4); }
inline void write_be32(std::uint8_t* out, std::uint32_t value) { write_be(out, value, 4); }

// The same, behind what `out` already holds.
inline void append_le(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}
inline void append_be(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// Byte `index` of `words` with the bytes of every 16-bit pair exchanged, pairs counted from the
// first byte; a final odd byte stays where it is.
inline std::uint8_t pair_swapped_byte(std::span<const std::uint8_t> words, std::size_t index) {
    const std::size_t partner = index ^ 1;
    return words[partner < words.size() ? partner : index];
}

// Bytes [from, from + out.size()) of that exchanged form of `words` into `out`.
inline void copy_pair_swapped(std::span<const std::uint8_t> words, std::size_t from, std::span<std::uint8_t> out) {
    const std::size_t size = out.size();
    std::size_t k = 0;
    if ((from & 1) != 0 && size > 0) {
        out[0] = words[from - 1];
        k = 1;
    }
    // Eight bytes, four whole words, at a time.
    constexpr std::uint64_t kLowBytes = 0x00FF00FF00FF00FFull;
    for (; k + 8 <= size; k += 8) {
        std::uint64_t block;
        std::memcpy(&block, words.data() + from + k, 8);
        block = (block & kLowBytes) << 8 | ((block >> 8) & kLowBytes);
        std::memcpy(out.data() + k, &block, 8);
    }
    for (; k < size; ++k) out[k] = pair_swapped_byte(words, from + k);
}

// The exchange in place.
inline void swap_byte_pairs_in_place(std::uint8_t* data, std::size_t size) {
    for (std::size_t j = 0; j + 1 < size; j += 2) std::swap(data[j], data[j + 1]);
}

}  // namespace orvane
