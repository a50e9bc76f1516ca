#include "dts/packing_conversion.hpp"

#include <algorithm>
#include <stdexcept>
#include "common/byte_order.hpp"
#include "dts/dts_frame_walk.hpp"
#include "dts/fourteen_bit_extraction.hpp"

namespace orvane {

std::vector<std::uint8_t> normalise_dts_payload(const InputAnalysis& analysis, std::uint64_t* frame_count,
                                                std::uint64_t* consumed_bytes) {
    if (analysis.sync_offset >= analysis.payload.size()) throw std::runtime_error("invalid DTS sync offset");
    if (is_14bit(analysis.packing)) return extract_14bit_frames(analysis, frame_count, consumed_bytes);
    const auto stream = dts_stream(analysis);
    std::vector<std::uint8_t> result(stream.begin(), stream.end());
    if (analysis.packing == DtsPacking::Be16) return result;
    if (analysis.packing == DtsPacking::Le16) {
        swap_byte_pairs_in_place(result.data(), result.size());
        return result;
    }
    throw std::runtime_error("unsupported DTS packing");
}

namespace {

// Four words carry exactly seven bytes; each group is stored as eight and the next overwrites the
// eighth, so the loop stops one group short of the output's end. Returns the groups done.
template <bool kLittleEndian>
std::size_t unpack_whole_groups(const std::uint8_t* in, std::size_t groups, std::uint8_t* out) {
    for (std::size_t group = 0; group < groups; ++group, in += 8, out += 7) {
        const std::uint64_t bits = word14(in, kLittleEndian) << 42 | word14(in + 2, kLittleEndian) << 28 |
                                   word14(in + 4, kLittleEndian) << 14 | word14(in + 6, kLittleEndian);
        write_be(out, bits << 8, 8);
    }
    return groups;
}

}  // namespace

void unpack_14bit_words(std::span<const std::uint8_t> carried, bool little_endian, std::span<std::uint8_t> out) {
    const std::size_t groups = std::min(carried.size() / 8, out.size() >= 8 ? (out.size() - 8) / 7 + 1 : 0);
    std::size_t in = 8 * (little_endian ? unpack_whole_groups<true>(carried.data(), groups, out.data())
                                        : unpack_whole_groups<false>(carried.data(), groups, out.data()));
    std::size_t written = in / 8 * 7;
    std::uint32_t bits = 0;
    int held = 0;
    for (; in + 2 <= carried.size() && written < out.size(); in += 2) {
        bits = bits << 14 | static_cast<std::uint32_t>(word14(&carried[in], little_endian));
        for (held += 14; held >= 8 && written < out.size(); held -= 8) {
            out[written++] = static_cast<std::uint8_t>(bits >> (held - 8));
        }
        bits &= (1u << held) - 1;
    }
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(written), out.end(), std::uint8_t{0});
}

std::size_t standard_dts_frame_size(std::span<const std::uint8_t> carried, DtsPacking packing) {
    if (!is_14bit(packing)) return carried.size();
    const DtsFrameSize size = dts_frame_size(carried, packing);
    if (size.carried == carried.size()) return size.stream;
    return carried.size() / 2 * 14 / 8;
}

void write_standard_dts_frame(std::span<const std::uint8_t> carried, DtsPacking packing, std::span<std::uint8_t> out) {
    if (is_14bit(packing)) {
        unpack_14bit_words(carried, packing == DtsPacking::Le14, out);
    } else if (packing == DtsPacking::Le16) {
        const std::size_t size = std::min(carried.size(), out.size());
        copy_pair_swapped(carried.first(size), 0, out.first(size));
    } else {
        std::copy_n(carried.begin(), std::min(carried.size(), out.size()), out.begin());
    }
}

}  // namespace orvane
