#include "platform/output_file.hpp"

namespace orvane {

std::FILE* open_output_file(const std::filesystem::path& path) { return std::fopen(path.c_str(), "wb"); }

}  // namespace orvane
