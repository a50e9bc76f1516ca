#include "app/track_placement.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/error_text.hpp"

namespace orvane {
namespace {

// A 44.1 kHz 16-bit stereo image of ten CD frames (2352 bytes each), its stream starting at `sync`.
CarrierTraits image(std::uint64_t sync, bool pcm = true) {
    CarrierTraits traits;
    traits.has_pcm_carrier = pcm;
    traits.carrier_rate = 44100;
    traits.carrier_bits = 16;
    traits.carrier_channels = 2;
    traits.payload_size = 10 * 2352;
    traits.sync_offset = sync;
    return traits;
}

// The sheet form: track 1 at the stream's start, track 2 at a CD frame of a carrier.
GaplessPlan sheet_plan(std::size_t carriers, std::size_t second_carrier, std::uint64_t second_frame) {
    GaplessPlan plan;
    for (std::size_t k = 0; k < carriers; ++k) {
        plan.raw_cd_audio.push_back(false);
        plan.carrier_labels.push_back("image file " + std::to_string(k + 1));
    }
    plan.starts = {{0, 0}, {second_carrier, second_frame}};
    plan.track_labels = {"track 01", "track 02"};
    return plan;
}

std::string placed(const GaplessPlan& plan, const std::vector<CarrierTraits>& traits) {
    std::string result;
    try {
        for (const std::uint64_t position : place_track_starts(plan, traits).boundaries.positions) {
            result += std::to_string(position) + " ";
        }
    } catch (const std::exception& error) {
        return error.what();
    }
    return result;
}

TEST(TrackPlacement, SheetStartsAreCdFramesCountedFromTheFirstSyncWord) {
    struct Case {
        std::uint64_t sync;
        std::size_t carrier;
        std::uint64_t frame;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {0, 0, 1, "2352 "},
        {2348, 0, 1, "4 "},  // one sample after the stream's first frame starts
        {2352, 0, 1, "track 02 starts before the DTS stream does"},  // exactly where it starts
        {100, 0, 9, "21068 "},                                       // the image's last CD frame
        {100, 0, 10, "track 02 starts beyond the end of image file 1"},
        {100, 1, 0, "23420 "},  // the second image's first byte
        {100, 1, 10, "track 02 starts beyond the end of image file 2"},
    };
    for (const Case& c : cases) {
        std::vector<CarrierTraits> traits = {image(c.sync)};
        if (c.carrier > 0) traits.push_back(image(0));
        EXPECT_EQ(placed(sheet_plan(traits.size(), c.carrier, c.frame), traits), c.expected)
            << c.sync << " " << c.carrier << ":" << c.frame;
    }
    EXPECT_EQ(placed(sheet_plan(1, 0, 1), {image(0, false)}),
              "image file 1: CUE sheet positions need a PCM carrier image (a WAV, FLAC or WavPack file), not a raw "
              "DTS stream");
}

TEST(TrackPlacement, OperandTracksStartWithTheirCarriers) {
    GaplessPlan plan;
    plan.track_per_carrier = true;
    plan.starts = {{0, 0}, {1, 0}, {2, 0}};
    std::vector<CarrierTraits> traits(3, image(10, false));
    traits[1].payload_size = 2000;
    traits[2].payload_size = 3000;
    const TrackPlacement placement = place_track_starts(plan, traits);
    EXPECT_EQ(placement.boundaries.positions, (std::vector<std::uint64_t>{23510, 25510}));
    EXPECT_EQ(placement.total, 23520u + 5000 - 10);
}

}  // namespace
}  // namespace orvane
