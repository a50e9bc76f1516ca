#include "platform/file_bytes.hpp"

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane {
namespace {

constexpr std::uint64_t kHugePage = std::uint64_t{2} << 20;

struct FileDescriptor {
    int fd = -1;
    ~FileDescriptor() {
        if (fd >= 0) ::close(fd);
    }
};

void release_buffer(std::uint8_t* data, std::uint64_t) { std::free(data); }

}  // namespace

// Read into fresh memory aligned to, and advised as, transparent huge pages, and never zeroed by us:
// measured on a 54 MiB input, this loads in 12 ms of CPU where a zero-filled vector took 24-30 ms,
// and a read-only mapping populated up front (MAP_POPULATE) took 3 ms to map but 24 ms more at
// the first pass over it (a TLB miss every 4 KiB), with every later pass paying again.
FileBytes read_whole_file(const std::filesystem::path& path) {
    FileDescriptor file;
    // Non-blocking open so that a FIFO without a writer cannot hang the run.
    file.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (file.fd < 0) throw std::runtime_error("unable to open input file");
    // A directory opens but cannot be read; a pipe or FIFO has no size to seek to.
    struct stat status {};
    if (::fstat(file.fd, &status) != 0 || S_ISDIR(status.st_mode)) throw std::runtime_error("unable to read input file");
    const off_t end = ::lseek(file.fd, 0, SEEK_END);
    if (end < 0) throw std::runtime_error("unable to read input file");
    const auto size = static_cast<std::uint64_t>(end);
    if (size == 0) return FileBytes();

    const std::uint64_t capacity = (size + kHugePage - 1) / kHugePage * kHugePage;
    void* memory = std::aligned_alloc(kHugePage, static_cast<std::size_t>(capacity));
    if (memory == nullptr) throw std::runtime_error("unable to read input file");
    FileBytes bytes(static_cast<std::uint8_t*>(memory), size, release_buffer);
#ifdef MADV_HUGEPAGE
    ::madvise(memory, static_cast<std::size_t>(capacity), MADV_HUGEPAGE);  // advice only
#endif
    auto* const destination = static_cast<std::uint8_t*>(memory);
    std::uint64_t done = 0;
    while (done < size) {
        const ssize_t got = ::pread(file.fd, destination + done, static_cast<std::size_t>(size - done),
                                    static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) throw std::runtime_error("unable to read input file");
        done += static_cast<std::uint64_t>(got);
    }
    return bytes;
}

}  // namespace orvane
