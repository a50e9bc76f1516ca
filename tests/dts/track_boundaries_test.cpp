#include "dts/track_boundaries.hpp"

#include <gtest/gtest.h>

#include "dts/boundary_samples.hpp"
#include "support/carriage.hpp"

namespace orvane {
namespace {

// A frame of 2048 carried bytes at 1000 that decodes to 512 samples: a boundary cuts at its share of
// the frame's bytes, rounded half up; several may fall in one frame; one on the next frame's first
// byte belongs to that frame.
TEST(TrackBoundaries, BoundariesCutFramesByTheirShareOfTheBytes) {
    TrackBoundaries boundaries{{1000, 1001, 1002, 2024, 3047, 3048}};
    EXPECT_EQ(boundary_cuts_in_frame(boundaries, 1000, 3048, 512), (std::vector<int>{0, 0, 1, 256, 512}));
    EXPECT_EQ(boundary_cuts_in_frame(boundaries, 3048, 5096, 0), std::vector<int>{0});  // refused frame
    EXPECT_TRUE(boundary_cuts_in_frame(boundaries, 5096, 7144, 512).empty());

    TrackBoundaries whole{{100, 5000}};
    EXPECT_EQ(track_of_frame(whole, 0), 0u);
    EXPECT_EQ(track_of_frame(whole, 100), 1u);  // a frame goes whole to the track it starts in
    EXPECT_EQ(track_of_frame(whole, 4999), 1u);
    EXPECT_EQ(track_of_frame(whole, 9000), 2u);
}

// A point inside a stream's last frame (2048 carried bytes of 512 samples) is placed in it: by its
// share of the bytes, or for whole frames at the stream's end.
TEST(TrackBoundaries, PointsInTheLastFrameOfAStreamArePlacedInIt) {
    const test::Bytes stream = test::carry_clip(test::cached_dts_cd_clip(4), DtsPacking::Le14);
    const std::vector<std::uint64_t> at{3 * 2048 + 272};
    EXPECT_EQ(boundary_samples(stream, DtsPacking::Le14, at, false).samples, std::vector<std::uint64_t>{3 * 512 + 68});
    EXPECT_EQ(boundary_samples(stream, DtsPacking::Le14, at, true).samples, std::vector<std::uint64_t>{4 * 512});
}

}  // namespace
}  // namespace orvane
