#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace orvane {

// Which file a path names, whatever its spelling: another case on a case-insensitive file system, a
// link, another hard link or a relative form all give the same identity.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t file = 0;
    bool operator==(const FileIdentity&) const = default;
};

// The identity of the file the path names (links followed), or nothing when it cannot be queried
// (absent, or no permission).
std::optional<FileIdentity> file_identity(const std::filesystem::path& path);

}  // namespace orvane
