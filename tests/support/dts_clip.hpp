#pragma once

// Short DTS core clips made by FFmpeg's own DTS encoder, for test inputs.

#include <cstdint>
#include <vector>

namespace orvane::test {

using Bytes = std::vector<std::uint8_t>;

struct DtsClipSpec {
    int sample_rate = 48000;  // 8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000
    int channels = 2;         // 1 mono, 2 stereo, 4 quad(side), 5 5.0(side), 6 5.1(side)
    int bit_rate = 0;         // 0: encoder default; 1234800 at 44100 Hz gives 1792-byte frames (DTS-CD)
    int frames = 8;           // number of 512-sample frames to produce (at least)
    double frequency = 440.0; // sine frequency; each channel gets a different phase
    double amplitude = 0.5;   // of full scale
};

struct DtsClip {
    std::vector<Bytes> frames;  // 16-bit big-endian core frames, each starting with 7F FE 80 01
    int sample_rate = 0;
    int channels = 0;
    int samples_per_frame = 512;
    Bytes joined() const;  // all frames back to back
};

// Encodes a sine clip; throws std::runtime_error when FFmpeg refuses.
DtsClip encode_dts_clip(const DtsClipSpec& spec);

// The DTS-CD shape: 44100 Hz 5.1 at 1234800 b/s, 1792-byte frames.
DtsClip encode_dts_cd_clip(int frames);

}  // namespace orvane::test
