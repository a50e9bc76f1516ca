#include "support/matroska_contents.hpp"

#include <algorithm>
#include <cstdint>

namespace orvane::test {

namespace {

// EBML elements whose content differs from run to run (random UIDs) or follows from such content
// (the CRC-32 of the element holding them), and the master elements on the way to them.
bool is_volatile_element(std::uint32_t id) {
    return id == 0x73A4 /* SegmentUID */ || id == 0x73C5 /* TrackUID */ || id == 0x63C5 /* TagTrackUID */ ||
           id == 0xBF /* CRC-32 */;
}

bool is_master_element(std::uint32_t id) {
    switch (id) {
        case 0x18538067:  // Segment
        case 0x114D9B74:  // SeekHead
        case 0x1549A966:  // Info
        case 0x1654AE6B:  // Tracks
        case 0xAE:        // TrackEntry
        case 0x1254C367:  // Tags
        case 0x7373:      // Tag
        case 0x63C0:      // Targets
            return true;
        default:
            return false;
    }
}

int vint_length(std::uint8_t first) {
    for (int i = 0; i < 8; ++i) {
        if ((first & (0x80 >> i)) != 0) return i + 1;
    }
    return 0;
}

}  // namespace

void blank_volatile_elements(Bytes& file, std::size_t begin, std::size_t end) {
    std::size_t p = begin;
    while (p < end) {
        const int id_length = vint_length(file[p]);
        if (id_length == 0 || id_length > 4 || p + id_length >= end) return;
        std::uint32_t id = 0;
        for (int i = 0; i < id_length; ++i) id = id << 8 | file[p + i];
        p += id_length;
        const int size_length = vint_length(file[p]);
        if (size_length == 0 || p + size_length > end) return;
        std::uint64_t size = file[p] & (0xFF >> size_length);
        for (int i = 1; i < size_length; ++i) size = size << 8 | file[p + i];
        p += size_length;
        if (size > end - p) size = end - p;
        if (is_master_element(id)) {
            blank_volatile_elements(file, p, p + size);
        } else if (is_volatile_element(id)) {
            std::fill(file.begin() + static_cast<std::ptrdiff_t>(p), file.begin() + static_cast<std::ptrdiff_t>(p + size), 0);
        }
        p += size;
    }
}

}  // namespace orvane::test
