#pragma once

// Decoded FFmpeg frames to 24-bit PCM: the WAV form (a signed 24-bit value) and the FLAC form
// (a signed 32-bit value whose upper 24 bits carry the sample).

#include <cstdint>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

namespace orvane {

// Per-value rules, one per accepted decoder format.
std::int32_t pcm24_from_s32(std::int32_t value);  // round to nearest, halves away from zero, clamp
std::int32_t pcm24_from_s16(std::int16_t value);
std::int32_t pcm24_from_float(float value);       // clamp, truncate toward zero; NaN gives 0
std::int32_t flac_from_s32(std::int32_t value);
std::int32_t flac_from_s16(std::int16_t value);
std::int32_t flac_from_float(float value);        // clamp, truncate toward zero at 2^31; NaN gives 0

// One sample of a planar frame in either form; the frame's format must be S32P, S16P or FLTP.
std::int32_t pcm24_sample(const AVFrame& frame, int channel, int index);
std::int32_t flac_s32_sample(const AVFrame& frame, int channel, int index);

// Whole-frame conversions, interleaved sample-major in the decoder's plane order, appended behind
// what `out` already holds. Both check the channel count before touching a sample.
// WAV: three bytes per sample, least significant first.
void append_pcm24_bytes(const AVFrame& frame, int channels, std::vector<std::uint8_t>& out);
// FLAC: a 32-bit value per sample.
void append_flac_samples(const AVFrame& frame, int channels, std::vector<std::int32_t>& out);

}  // namespace orvane
