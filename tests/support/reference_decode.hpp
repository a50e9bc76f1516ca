#pragma once

// FFmpeg's own reading of a DTS stream (parser and decoder, nothing of the program's), as the
// reference that conversions are compared with.

#include <vector>

#include "support/dts_clip.hpp"

namespace orvane::test {

struct ReferenceDecode {
    int frames = 0;       // decoded frames
    int channels = 0;
    int sample_rate = 0;
    std::vector<float> samples;  // interleaved, as the decoder's planar float output
};

// Parses and decodes the whole stream (any carriage); throws std::runtime_error when FFmpeg refuses
// a frame (but a cut last one) or delivers anything but planar float.
ReferenceDecode reference_decode(const Bytes& stream);

}  // namespace orvane::test
