#pragma once

// Whole sample files (WAV carrier or raw stream) of a music-like signal, written frame by frame, for the
// sample generator tool, end-to-end tests and benchmarks.

#include <cstdint>
#include <filesystem>

#include "dts/dts_packing.hpp"

namespace orvane::test {

struct DtsSampleOptions {
    double seconds = 10.0;
    int sample_rate = 44100;
    int channels = 6;
    int bit_rate = 1234800;
    DtsPacking packing = DtsPacking::Le14;
    bool raw = false;           // the carried stream alone instead of a WAV carrier
    bool rf64 = false;          // RF64 instead of RIFF carrier
    std::uint64_t lead = 0;     // zero bytes before the first frame
    std::uint64_t pad = 0;      // zero bytes after the last frame
    std::uint64_t cut = 0;      // when set, the carried bytes of the last frame kept: a CD track's end
};

struct DtsSampleSummary {
    std::int64_t frames = 0;
    std::uint64_t stream_bytes = 0;  // carried frames only
    std::uint64_t file_bytes = 0;
};

// A signal with a chord, a slow sweep and a little movement per channel; values in [-1, 1].
double music_sample(std::int64_t index, int channel, int sample_rate, int channels);

// Encodes ceil(seconds * rate / 512) frames and writes them carried as asked. The WAV carrier is a
// 16-bit stereo PCM header at the sample rate; its data is zero-filled up to whole 4-byte sample frames.
// Throws std::runtime_error on any failure.
DtsSampleSummary write_dts_sample(const DtsSampleOptions& options, const std::filesystem::path& path);

}  // namespace orvane::test
