#include "app/track_placement.hpp"

#include <exception>
#include <stdexcept>

#include "input/cue_sheet.hpp"

namespace orvane {
namespace {

// Where a track of the sheet form starts in its carrier's payload.
std::uint64_t start_in_carrier(const GaplessPlan& plan, const std::vector<CarrierTraits>& traits, std::size_t k) {
    const auto [carrier, frame] = plan.starts[k];
    const CarrierTraits& image = traits[carrier];
    std::uint64_t offset = 0;
    try {
        offset = frame * cd_frame_bytes({image.has_pcm_carrier, image.carrier_rate, image.carrier_channels,
                                         image.carrier_bits, plan.raw_cd_audio[carrier]});
    } catch (const std::exception& error) {
        throw std::runtime_error(plan.carrier_labels[carrier] + ": " + error.what());
    }
    if (offset >= image.payload_size) {
        throw std::runtime_error(plan.track_labels[k] + " starts beyond the end of " + plan.carrier_labels[carrier]);
    }
    if (k > 0 && carrier == 0 && offset <= image.sync_offset) {
        throw std::runtime_error(plan.track_labels[k] + " starts before the DTS stream does");
    }
    return offset;
}

}  // namespace

TrackPlacement place_track_starts(const GaplessPlan& plan, const std::vector<CarrierTraits>& traits) {
    std::vector<std::uint64_t> carrier_at(traits.size() + 1, 0);
    for (std::size_t k = 0; k < traits.size(); ++k) carrier_at[k + 1] = carrier_at[k] + traits[k].payload_size;
    const std::uint64_t sync = traits.front().sync_offset;
    TrackPlacement placement;
    for (std::size_t k = 0; k < plan.starts.size(); ++k) {
        const std::uint64_t offset = plan.track_per_carrier ? 0 : start_in_carrier(plan, traits, k);
        if (k > 0) placement.boundaries.positions.push_back(carrier_at[plan.starts[k].first] + offset - sync);
    }
    placement.total = carrier_at.back() - sync;
    return placement;
}

}  // namespace orvane
