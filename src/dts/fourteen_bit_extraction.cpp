#include "dts/fourteen_bit_extraction.hpp"

#include <stdexcept>

namespace orvane {

std::vector<std::uint8_t> extract_14bit_frames(const InputAnalysis&, std::uint64_t*, std::uint64_t*) {
    throw std::runtime_error("14-bit DTS extraction is not available in this build");
}

}  // namespace orvane
