#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace orvane {

// Text inside the program is UTF-8; these two are where a path crosses to and from the file system's
// own form (bytes on POSIX, UTF-16 on Windows). A narrow path constructor would use the system code
// page on Windows and lose every character outside it.
std::filesystem::path path_from_utf8(std::string_view text);
std::string utf8_from_path(const std::filesystem::path& path);

}  // namespace orvane
