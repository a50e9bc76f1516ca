#include "dts/packing_conversion.hpp"

#include <stdexcept>
#include <utility>

#include "dts/fourteen_bit_extraction.hpp"

namespace orvane {

void swap_byte_pairs_in_place(std::uint8_t* data, std::size_t size) {
    for (std::size_t j = 0; j + 1 < size; j += 2) std::swap(data[j], data[j + 1]);
}

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

}  // namespace orvane
