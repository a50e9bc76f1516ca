#include "platform/file_pattern.hpp"

#include <algorithm>
#include <filesystem>

#include <windows.h>

#include "platform/utf8_path.hpp"

namespace orvane {

std::vector<std::string> files_matching(const std::string& operand) {
    if (operand.find_first_of("*?") == std::string::npos) return {operand};
    const std::filesystem::path pattern = path_from_utf8(operand);
    WIN32_FIND_DATAW found;
    const HANDLE search =
        ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) return {operand};
    const std::size_t cut = operand.find_last_of("/\\:");
    const std::string folder = cut == std::string::npos ? "" : operand.substr(0, cut + 1);
    std::vector<std::string> files;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            files.push_back(folder + utf8_from_path(std::filesystem::path(found.cFileName)));
        }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    if (files.empty()) return {operand};
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace orvane
