#include "dts/dts_frame_walk.hpp"

#include <array>

#include "common/byte_order.hpp"
#include "dts/packing_conversion.hpp"
#include "platform/interruption.hpp"

namespace orvane {
namespace {

// The byte at `index` of the big-endian form of the stream.
struct BigEndianView {
    std::span<const std::uint8_t> stream;
    bool swapped;
    std::uint8_t operator[](std::size_t index) const {
        return swapped ? pair_swapped_byte(stream, index) : stream[index];
    }
    std::size_t size() const { return stream.size(); }
};

// The smallest core frame a valid header can declare.
constexpr std::size_t kMinimumResyncFrameSize = 96;

bool is_core_sync(const BigEndianView& view, std::size_t p) {
    return view[p] == 0x7F && view[p + 1] == 0xFE && view[p + 2] == 0x80 && view[p + 3] == 0x01;
}

// Frame size of the core frame at p (FSIZE + 1); needs p + 10 <= size.
std::size_t core_frame_size(const BigEndianView& view, std::size_t p) {
    return ((static_cast<std::size_t>(view[p + 5]) & 0x03) << 12 | static_cast<std::size_t>(view[p + 6]) << 4 |
            static_cast<std::size_t>(view[p + 7]) >> 4) +
           1;
}

// Size of the extension substream block at p, or 0 when there is none that fits.
std::size_t extension_block_size(const BigEndianView& view, std::size_t p) {
    const std::size_t size = view.size();
    if (p + 10 > size) return 0;
    if (!(view[p] == 0x64 && view[p + 1] == 0x58 && view[p + 2] == 0x20 && view[p + 3] == 0x25)) return 0;
    // After the sync: 8 user bits, 2-bit substream index, 1-bit header-size type, then the
    // header size and block size fields, each stored minus one.
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < 6; ++i) bits = bits << 8 | view[p + 4 + i];
    const int available = 48;
    const bool wide = (bits >> (available - 11)) & 1;
    const int header_bits = wide ? 12 : 8;
    const int block_bits = wide ? 20 : 16;
    const int block_shift = available - 11 - header_bits - block_bits;
    const std::size_t block = ((bits >> block_shift) & ((std::uint64_t{1} << block_bits) - 1)) + 1;
    if (block > size - p) return 0;
    return block;
}

void keep(DtsFrameWalk& walk, std::size_t offset, std::size_t size) {
    check_interruption();
    if (!walk.kept.empty() && walk.kept.back().offset + walk.kept.back().size == offset) {
        walk.kept.back().size += size;
    } else {
        walk.kept.push_back({offset, size});
    }
}

// The first ten bytes of a 14-bit frame's 16-bit form: the low 14 bits of its first six words.
// Needs 12 bytes.
std::array<std::uint8_t, 10> unpack_14bit_header(std::span<const std::uint8_t> carried, bool little_endian) {
    std::array<std::uint8_t, 10> header{};
    unpack_14bit_words(carried.first(12), little_endian, header);
    return header;
}

// The core frame at the start of `carried` as its header declares it, whether or not it fits.
DtsFrameSize declared_core_frame(std::span<const std::uint8_t> carried, DtsPacking packing) {
    if (is_16bit(packing)) {
        const BigEndianView view{carried, packing == DtsPacking::Le16};
        if (view.size() < 10 || !is_core_sync(view, 0)) return {};
        const std::size_t frame = core_frame_size(view, 0);
        if (frame < kMinimumResyncFrameSize) return {};
        return {frame, frame};
    }
    if (is_14bit(packing)) {
        if (carried.size() < 12) return {};
        // The sync word's first 28 bits, read from the words as they lie: most positions fail here,
        // without the unpacking (a carrier's hour of silence is walked word by word).
        const bool little_endian = packing == DtsPacking::Le14;
        const auto bits = [&](std::size_t at) { return word14(&carried[at], little_endian); };
        if (bits(0) != 0x1FFF || bits(2) != 0x2800) return {};
        const auto header = unpack_14bit_header(carried, packing == DtsPacking::Le14);
        const BigEndianView view{header, false};
        if (!is_core_sync(view, 0)) return {};
        const std::size_t frame = core_frame_size(view, 0);
        if (frame < kMinimumResyncFrameSize) return {};
        // Each 16-bit word carries 14 bits of the frame.
        return {2 * ((frame * 8 + 13) / 14), frame};
    }
    return {};
}

}  // namespace

DtsFrameSize dts_frame_size(std::span<const std::uint8_t> carried, DtsPacking packing) {
    DtsFrameSize size = declared_core_frame(carried, packing);
    if (size.carried == 0 || size.carried > carried.size()) return {};
    if (is_16bit(packing)) {
        const BigEndianView view{carried, packing == DtsPacking::Le16};
        while (const std::size_t block = extension_block_size(view, size.carried)) size.carried += block;
        size.stream = size.carried;
    }
    return size;
}

bool is_cut_dts_frame(std::span<const std::uint8_t> carried, DtsPacking packing) {
    return declared_core_frame(carried, packing).carried > carried.size();
}

std::size_t dts_frame_extent(std::span<const std::uint8_t> carried, DtsPacking packing) {
    return dts_frame_size(carried, packing).carried;
}

DtsFrameWalk walk_dts_frames(std::span<const std::uint8_t> stream, bool swapped) {
    const BigEndianView view{stream, swapped};
    const std::size_t length = stream.size();
    DtsFrameWalk walk;

    std::size_t position = 0;
    // The frames that follow each other from the start.
    while (position + 10 <= length && is_core_sync(view, position)) {
        const std::size_t frame = core_frame_size(view, position);
        if (frame > length - position) break;
        keep(walk, position, frame);
        position += frame;
        ++walk.core_frames;
    }
    if (walk.core_frames == 0) {
        walk.kept = {{0, length}};
        return walk;
    }

    // Past the first run: an extension block that fits is kept where it stands; anything else is
    // skipped up to the next core frame that fits.
    bool searching = false;
    while (position + 10 <= length) {
        if (is_core_sync(view, position)) {
            const std::size_t frame = core_frame_size(view, position);
            if (frame >= kMinimumResyncFrameSize && frame <= length - position) {
                keep(walk, position, frame);
                position += frame;
                ++walk.core_frames;
                searching = false;
                continue;
            }
        } else if (!searching) {
            if (const std::size_t block = extension_block_size(view, position); block > 0) {
                keep(walk, position, block);
                position += block;
                continue;
            }
        }
        searching = true;
        ++position;
    }

    std::uint64_t kept_bytes = 0;
    for (const ByteRange& range : walk.kept) kept_bytes += range.size;
    walk.dropped_bytes = length - kept_bytes;
    return walk;
}

}  // namespace orvane
