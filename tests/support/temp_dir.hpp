#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "support/dts_clip.hpp"

namespace orvane::test {

// A fresh directory removed with everything in it at the end of the test.
struct TempDir {
    std::filesystem::path path;
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::filesystem::path file(const std::string& name) const { return path / name; }
    // The names in the directory (hidden ones included), sorted.
    std::vector<std::string> names() const;
};

void write_file(const std::filesystem::path& path, const Bytes& bytes);
Bytes read_file(const std::filesystem::path& path);

}  // namespace orvane::test
