#include "platform/output_file.hpp"

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane {

// Like fopen's "wb", except that an empty file is not truncated: ext4 takes a truncation to zero for
// a rewrite in place and starts writing the file back at its close, which a staged output (created
// empty just before) would wait for.
std::FILE* open_output_file(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    struct stat status {};
    const bool empty = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size == 0;
    if (!empty && ::ftruncate(fd, 0) != 0 && S_ISREG(status.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) ::close(fd);
    return file;
}

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
