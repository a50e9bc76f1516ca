#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "dts/dts_packing.hpp"

namespace orvane {

inline constexpr std::uint64_t kInputSyncScanLimit = 1048576;
inline constexpr std::uint64_t kFrameSyncScanLimit = 64;

// The first DTS core sync word in the first scan_limit bytes, in any of the four packings,
// or (Unknown, 0) when there is none.
std::pair<DtsPacking, std::uint64_t> find_dts_sync(const std::uint8_t* data, std::size_t size,
                                                   std::uint64_t scan_limit);

}  // namespace orvane
