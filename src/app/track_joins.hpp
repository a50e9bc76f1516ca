#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "dts/dts_packing.hpp"

namespace orvane {

// What a disc's carrier shows at its edges, kept while the next is analysed: the bytes it begins
// with and those of its last frame that starts in it (often cut short by the carrier's end).
struct CarrierEdges {
    std::vector<std::uint8_t> head;
    std::vector<std::uint8_t> last_frame;  // empty when no frame could be followed to the end
};

// Walks the frames of `payload` from its first sync word at `sync_offset` to the last frame.
CarrierEdges carrier_edges(std::span<const std::uint8_t> payload, std::uint64_t sync_offset, DtsPacking packing);

// False when `after` cannot follow `before` in the disc's stream: the last frame of `before`,
// completed from the start of `after`, ends where no frame follows. True whenever the edges cannot
// tell (no frame followed to the end, a frame larger than the edges held).
bool continues(const CarrierEdges& before, const CarrierEdges& after, DtsPacking packing);

}  // namespace orvane
