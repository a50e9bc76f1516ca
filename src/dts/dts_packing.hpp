#pragma once

#include <cstdint>

namespace orvane {

// How the DTS bitstream is carried; the values are fixed and compared across the program.
enum class DtsPacking : std::int32_t {
    Unknown = 0,
    Be16 = 1,
    Le16 = 2,
    Be14 = 3,
    Le14 = 4,
};

const char* packing_name(DtsPacking packing);

inline bool is_14bit(DtsPacking packing) { return packing == DtsPacking::Be14 || packing == DtsPacking::Le14; }
inline bool is_16bit(DtsPacking packing) { return packing == DtsPacking::Be16 || packing == DtsPacking::Le16; }

}  // namespace orvane
