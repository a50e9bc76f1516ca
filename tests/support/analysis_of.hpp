#pragma once

#include <cstdint>
#include <utility>

#include "input/input_analysis.hpp"
#include "support/dts_clip.hpp"

namespace orvane::test {

// An analysis as the input analysis would hand it over, built directly around a payload.
inline InputAnalysis analysis_of(Payload payload, DtsPacking packing, std::uint64_t sync_offset) {
    InputAnalysis analysis;
    analysis.payload = std::move(payload);
    analysis.packing = packing;
    analysis.sync_offset = sync_offset;
    return analysis;
}

}  // namespace orvane::test
