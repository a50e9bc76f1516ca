#pragma once

// Short DTS core clips made by FFmpeg's own DTS encoder, for test inputs.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace orvane::test {

using Bytes = std::vector<std::uint8_t>;

struct DtsClipSpec {
    int sample_rate = 48000;  // 8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000
    int channels = 2;         // 1 mono, 2 stereo, 4 quad(side), 5 5.0(side), 6 5.1(side)
    int bit_rate = 0;         // 0: encoder default; 1234800 at 44100 Hz gives 1792-byte frames (DTS-CD)
    int frames = 8;           // number of 512-sample frames to produce (exactly)
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

inline constexpr int kDtsCdBitRate = 1234800;
inline constexpr std::size_t kDtsCdFrameBytes = 1792;

// One input sample in [-1, 1] for a sample index and a channel.
using SampleFunction = std::function<double(std::int64_t index, int channel)>;
// One encoded 16-bit big-endian frame; the bytes are valid only during the call.
using FrameFunction = std::function<void(const std::uint8_t* data, int size)>;

// Encodes exactly spec.frames frames of the given signal (spec.frequency and spec.amplitude are unused),
// handing each frame over as it comes, so long streams need no memory of their own.
void encode_dts_stream(const DtsClipSpec& spec, const SampleFunction& sample, const FrameFunction& on_frame);

// Encodes a sine clip; throws std::runtime_error when FFmpeg refuses.
DtsClip encode_dts_clip(const DtsClipSpec& spec);

// The DTS-CD shape: 44100 Hz 5.1 at 1234800 b/s, 1792-byte frames.
DtsClip encode_dts_cd_clip(int frames);

// The same DTS-CD clip for every test that asks for this many frames, encoded once per test run.
const DtsClip& cached_dts_cd_clip(int frames);

}  // namespace orvane::test
