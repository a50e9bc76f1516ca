#pragma once

// Independent readings of decoded outputs: FFmpeg's own decode of a DTS stream as the reference,
// FFmpeg's reading of our WAV and FLAC files, and STREAMINFO's sample count.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "support/process_runner.hpp"
#include "support/temp_dir.hpp"

namespace orvane::test {

// FFmpeg's decode of a raw DTS stream: interleaved float samples, as its decoder delivers them.
inline std::vector<float> ffmpeg_reference_decode(const TempDir& dir, const Bytes& dts) {
    const auto in = dir.file("reference-in.dts");
    const auto out = dir.file("reference-out.f32");
    write_file(in, dts);
    const auto result =
        run_program("ffmpeg", {"-v", "error", "-y", "-f", "dts", "-i", in.string(), "-f", "f32le", out.string()});
    EXPECT_EQ(result.status, 0) << result.err;
    const Bytes bytes = read_file(out);
    std::vector<float> samples(bytes.size() / 4);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 4);
    return samples;
}

// Our WAV or FLAC output as FFmpeg reads it back: interleaved 24-bit values.
inline std::vector<std::int32_t> ffmpeg_read_pcm24(const TempDir& dir, const std::filesystem::path& file) {
    const auto out = dir.file("readback.s32");
    const auto result = run_program("ffmpeg", {"-v", "error", "-y", "-i", file.string(), "-f", "s32le", "-c:a",
                                               "pcm_s32le", out.string()});
    EXPECT_EQ(result.status, 0) << result.err;
    const Bytes bytes = read_file(out);
    std::vector<std::int32_t> samples(bytes.size() / 4);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 4);
    for (auto& sample : samples) sample >>= 8;
    return samples;
}

// Samples of ours that lie one LSB or more away from the reference scaled to 24 bits (after the
// clamp to full scale). Truncation keeps every sample strictly within one LSB.
inline std::size_t samples_off_reference(const std::vector<std::int32_t>& ours, const std::vector<float>& reference) {
    EXPECT_EQ(ours.size(), reference.size());
    std::size_t off = 0;
    for (std::size_t i = 0; i < ours.size() && i < reference.size(); ++i) {
        const double x = std::fmax(-1.0, std::fmin(8388607.0 / 8388608.0, static_cast<double>(reference[i])));
        if (std::fabs(ours[i] - x * 8388608.0) >= 1.0) ++off;
    }
    return off;
}

// The 36-bit total-sample field of a FLAC file's STREAMINFO (body at byte 8).
inline std::uint64_t streaminfo_total_samples(const Bytes& flac) {
    std::uint64_t total = flac[8 + 13] & 0x0F;
    for (int i = 14; i < 18; ++i) total = total << 8 | flac[8 + static_cast<std::size_t>(i)];
    return total;
}

inline std::uint32_t le32_at(const Bytes& bytes, std::size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

}  // namespace orvane::test
