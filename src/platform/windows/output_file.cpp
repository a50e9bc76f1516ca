#include "platform/output_file.hpp"

#include <windows.h>

namespace orvane {

// By the wide name: a narrow one would pass through the ANSI code page.
std::FILE* open_output_file(const std::filesystem::path& path) { return ::_wfopen(path.c_str(), L"wb"); }

NewFile create_new_file(const std::filesystem::path& path) {
    // Plain attributes: a hidden file could not be emptied again by _wfopen's "wb".
    const HANDLE handle =
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? NewFile::exists : NewFile::failed;
    }
    ::CloseHandle(handle);
    return NewFile::created;
}

// _wrename refuses an existing destination; MoveFileExW replaces it in one step on the same volume.
bool replace_file(const std::filesystem::path& from, const std::filesystem::path& to) {
    return ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

}  // namespace orvane
