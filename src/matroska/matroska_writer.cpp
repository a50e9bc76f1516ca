#include "matroska/matroska_writer.hpp"

#include <stdexcept>

namespace orvane {

void mux_matroska(const std::filesystem::path&, const InputAnalysis&, bool, bool, const TagSet&) {
    throw std::runtime_error("Matroska output is not available in this build");
}

void set_matroska_tags(AVDictionary**, const TagSet&) {}

}  // namespace orvane
