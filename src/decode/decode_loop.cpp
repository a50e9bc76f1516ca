#include "decode/decode_loop.hpp"

#include <stdexcept>

namespace orvane {

void decode_to_pcm_file(const InputAnalysis&, const std::filesystem::path&, bool, bool, bool, const TagSet&) {
    throw std::runtime_error("decoded output is not available in this build");
}

}  // namespace orvane
