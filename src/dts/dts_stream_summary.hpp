#pragma once

// What --scan tells about the DTS stream itself: the first frame decoded once, the frames counted
// by their headers (nothing else decoded).

#include <cstdint>
#include <ostream>
#include <span>
#include <string>

#include "input/input_analysis.hpp"

namespace orvane {

struct DtsStreamSummary {
    std::int32_t channels = 0;
    std::string layout;  // as FFmpeg describes it: "5.1(side)", "stereo" ...
    std::int32_t sample_rate = 0;
    std::int64_t bit_rate = 0;  // of the first frame as stored, extension blocks included
    std::int32_t samples_per_frame = 0;
    std::string profile;
    std::uint64_t frames = 0;
};

DtsStreamSummary summarise_dts_stream(const InputAnalysis& analysis);

// Counts the core frames from the start of the stream: the frame walk for 16-bit words; for 14-bit
// words frame after frame by the sizes their headers declare, past anything else word by word.
std::uint64_t count_dts_frames(std::span<const std::uint8_t> stream, DtsPacking packing);

// "m:ss.sss", rounded to the millisecond.
std::string format_duration(std::uint64_t samples, std::int32_t sample_rate);

// The lines after the detection report.
void print_stream_summary(std::ostream& out, const DtsStreamSummary& summary);

// The same for the analysed stream; a first frame that does not decode is reported in one line, as
// a finding of the scan: extraction to .dts still works on such a stream.
void print_stream_summary(std::ostream& out, const InputAnalysis& analysis);

}  // namespace orvane
