#include "platform/file_identity.hpp"

#include <windows.h>

namespace orvane {

// The volume's serial number and the file's index on it: stat() on Windows has no inode, and
// comparing names would miss another letter case, short 8.3 names and hard links.
std::optional<FileIdentity> file_identity(const std::filesystem::path& path) {
    // No access rights asked for, every sharing allowed: querying must work on a file another
    // program holds open; backup semantics lets a directory be opened too.
    const HANDLE handle = ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION information{};
    const bool known = ::GetFileInformationByHandle(handle, &information) != 0;
    ::CloseHandle(handle);
    if (!known) return std::nullopt;
    return FileIdentity{information.dwVolumeSerialNumber,
                        static_cast<std::uint64_t>(information.nFileIndexHigh) << 32 | information.nFileIndexLow};
}

}  // namespace orvane
