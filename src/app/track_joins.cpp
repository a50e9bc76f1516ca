#include "app/track_joins.hpp"

#include <algorithm>

#include "dts/dts_frame_walk.hpp"

namespace orvane {
namespace {

// More than any frame with its extension blocks, so the frame across a join is seen whole.
constexpr std::size_t kEdgeBytes = std::size_t{1} << 17;

}  // namespace

CarrierEdges carrier_edges(std::span<const std::uint8_t> payload, std::uint64_t sync_offset, DtsPacking packing) {
    CarrierEdges edges;
    edges.head.assign(payload.begin(), payload.begin() + std::min(payload.size(), kEdgeBytes));
    std::size_t last = payload.size();
    // Frame to frame as the writers read them; past anything else word by word to the next frame.
    for (std::size_t at = sync_offset; at < payload.size();) {
        const std::span<const std::uint8_t> rest = payload.subspan(at);
        if (is_cut_dts_frame(rest, packing)) {
            last = at;
            break;
        }
        const std::size_t extent = dts_frame_extent(rest, packing);
        if (extent > 0) last = at;
        at += extent > 0 ? extent : 2;
    }
    if (last < payload.size() && payload.size() - last <= kEdgeBytes) {
        edges.last_frame.assign(payload.begin() + static_cast<std::ptrdiff_t>(last), payload.end());
    }
    return edges;
}

bool continues(const CarrierEdges& before, const CarrierEdges& after, DtsPacking packing) {
    const std::size_t held = before.last_frame.size();
    if (held == 0) return true;
    std::vector<std::uint8_t> joined = before.last_frame;
    joined.insert(joined.end(), after.head.begin(), after.head.end());
    const std::size_t extent = dts_frame_extent(joined, packing);
    // A frame that ends inside `before`, followed there by no frame, says nothing of the order.
    if (extent < held) return true;
    const std::size_t next = extent - held;
    if (next >= after.head.size()) return true;
    const std::span<const std::uint8_t> rest = std::span<const std::uint8_t>(after.head).subspan(next);
    return dts_frame_extent(rest, packing) > 0 || is_cut_dts_frame(rest, packing);
}

}  // namespace orvane
