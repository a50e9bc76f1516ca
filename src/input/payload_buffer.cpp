#include "input/payload_buffer.hpp"

#include <sys/mman.h>

namespace orvane {

// Transparent huge pages are asked for where the system offers them: filling a CD-length buffer of
// 4 KiB pages costs some 13,000 page faults, which on a virtual machine took longer than everything
// else of a raw extraction.
std::vector<std::uint8_t> reserve_payload(std::size_t capacity) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(capacity);
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
    const auto start = reinterpret_cast<std::uintptr_t>(bytes.data());
    const std::uintptr_t first = (start + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t last = (start + capacity) & ~(kHugePage - 1);
    if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);  // advice only
#endif
    return bytes;
}

std::vector<std::uint8_t> payload_buffer(std::size_t size) {
    std::vector<std::uint8_t> bytes = reserve_payload(size);
    bytes.resize(size);
    return bytes;
}

}  // namespace orvane
