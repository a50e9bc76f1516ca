#pragma once

#include <cstdio>
#include <filesystem>

namespace orvane {

// Creates the file, or empties an existing one, for binary writing; nullptr when that fails.
std::FILE* open_output_file(const std::filesystem::path& path);

}  // namespace orvane
