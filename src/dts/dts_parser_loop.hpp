#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "dts/dts_parser_feed.hpp"
#include "input/input_analysis.hpp"

namespace orvane {

// The three messages that differ between the users of the shared parser loop.
struct DtsParserWording {
    const char* init_failure;
    const char* parse_error;
    const char* flush_error;
};

// One complete frame as the parser returned it, and the duration it reported (0 for none).
// The bytes are valid only during the call.
using DtsFrameAction = std::function<void(std::span<const std::uint8_t> frame, int duration)>;

// Told, in place of the frame action, of a frame released by the final flush that is shorter than its
// header declares (a stream cut inside its last frame): the frame's size in bytes. Without it, such a
// frame goes to the frame action like any other.
using CutFrameAction = std::function<void(std::size_t size)>;

// Offers the analysed stream from its sync word on, unconverted, to FFmpeg's DTS parser (in pieces of
// at most `piece_size` bytes, then the flush) and hands every frame to `on_frame` in stream order,
// each cut to the size its header declares (`dts_frame_extent`) unless it holds a second sync word:
// no bytes from between the frames, and none of a frame the parser merged with a damaged one.
// The parser and its context are released on every path, also when `on_frame` throws.
void run_dts_parser(const InputAnalysis& analysis, const DtsParserWording& wording, const DtsFrameAction& on_frame,
                    std::size_t piece_size = kDefaultParserPieceSize, const CutFrameAction& on_cut_last_frame = {});

// A frame as above, and where the parser's frame began in the stream (its uncut bytes counted).
using PlacedFrameAction = std::function<void(std::span<const std::uint8_t> frame, int duration, std::uint64_t start)>;

// The same over a stream of the given packing fed segment by segment through one parser.
void run_dts_parser_segments(const StreamSegments& segments, DtsPacking packing, const DtsParserWording& wording,
                             const PlacedFrameAction& on_frame, std::size_t piece_size = kDefaultParserPieceSize,
                             const CutFrameAction& on_cut_last_frame = {});

}  // namespace orvane
