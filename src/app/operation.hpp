#pragma once

#include <ostream>
#include <streambuf>

#include "app/progress_line.hpp"
#include "decode/decode_loop.hpp"
#include "dts/dts_source.hpp"
#include "output/output_settings.hpp"

namespace orvane {

// One conversion: the writer of the output kind over the stream, one output per track. A file is
// the one track of its own stream; a disc's stream is its carriers' payloads one after another.
struct Operation {
    OutputSettings settings;
    DecodeTuning tuning;  // .flac and .wav
    DtsSource source;
    TrackOutputs tracks;
};

// Prints the "Operation: " line (a disc's with its count of tracks), runs the writer, clears the
// progress line and prints what the writer tells the driver; then checks every output.
void run_operation(const Operation& operation, std::ostream& report, ProgressLine& progress);

// Discards what it is given, so a stream writing into it never fails.
struct NullBuffer : std::streambuf {
    int overflow(int c) override { return traits_type::not_eof(c); }
};

// A stream that takes everything and shows nothing: the report of a quiet run. Each run has its
// own, so conversions running at once never share a stream's state.
struct NullReport {
    NullBuffer buffer;
    std::ostream stream{&buffer};
};

}  // namespace orvane
