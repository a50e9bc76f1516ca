#include "dts/boundary_samples.hpp"

#include <optional>

#include "dts/dts_parser.hpp"
#include "dts/track_boundaries.hpp"

namespace orvane {

BoundarySamples boundary_samples(std::span<const std::uint8_t> stream, DtsPacking packing,
                                 const std::vector<std::uint64_t>& positions, bool whole_frames) {
    static constexpr DtsParserWording kWording{"unable to initialise DTS parser", "DTS parser error",
                                               "DTS parser error"};
    BoundarySamples result;
    TrackBoundaries boundaries{positions, 0};
    // A frame's bytes end where the next one's begin, so each is placed once its successor is seen.
    struct Pending {
        std::uint64_t start = 0;
        int samples = 0;
    };
    std::optional<Pending> pending;
    const auto place = [&](const Pending& frame, std::uint64_t end) {
        if (whole_frames) {
            const std::size_t before = boundaries.passed;
            track_of_frame(boundaries, frame.start);
            result.samples.insert(result.samples.end(), boundaries.passed - before, result.total);
        } else {
            for (const int cut : boundary_cuts_in_frame(boundaries, frame.start, end, frame.samples)) {
                result.samples.push_back(result.total + static_cast<std::uint64_t>(cut));
            }
        }
        result.total += static_cast<std::uint64_t>(frame.samples);
    };
    run_dts_parser_segments(StreamSegments{1, [stream](std::size_t) { return stream; }}, packing, kWording,
                            [&](std::span<const std::uint8_t>, int duration, std::uint64_t start) {
                                if (pending) place(*pending, start);
                                pending = Pending{start, duration > 0 ? duration : 0};
                            });
    if (pending) place(*pending, stream.size());
    // Positions behind the last frame's start (whole frames) or its end: the stream's end.
    result.samples.resize(positions.size(), result.total);
    return result;
}

}  // namespace orvane
