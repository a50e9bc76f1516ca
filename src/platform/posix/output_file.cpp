#include "platform/output_file.hpp"

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace orvane {

std::FILE* open_output_file(const std::filesystem::path& path) { return std::fopen(path.c_str(), "wb"); }

NewFile create_new_file(const std::filesystem::path& path) {
    // O_EXCL also refuses a dangling link rather than creating the file it points to.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return errno == EEXIST ? NewFile::exists : NewFile::failed;
    ::close(fd);
    return NewFile::created;
}

bool replace_file(const std::filesystem::path& from, const std::filesystem::path& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace orvane
