#include "platform/output_file.hpp"

namespace orvane {

// By the wide name: a narrow one would pass through the ANSI code page.
std::FILE* open_output_file(const std::filesystem::path& path) { return ::_wfopen(path.c_str(), L"wb"); }

}  // namespace orvane
