#pragma once

// The .wav sink: a 44-byte RIFF/WAVE header (plain PCM, 24-bit) and interleaved little-endian
// samples; the two size fields are filled in at the end.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "output/staged_output.hpp"

extern "C" {
#include <libavutil/frame.h>
}

namespace orvane {

// RIFF sizes are 32-bit: data_bytes + 36 must still fit.
inline constexpr std::uint64_t kMaxWavDataBytes = 0xFFFFFFDBull;

// Output stream buffer: frames are gathered into large writes instead of two system calls each.
inline constexpr std::size_t kWavWriteBufferSize = std::size_t{1} << 18;

struct WavWriter {
    std::optional<StagedOutput> output;     // where `file` is written, committed by finish_wav
    std::unique_ptr<char[]> stream_buffer;  // outlives `file`, which uses it
    std::FILE* file = nullptr;
    bool failed = false;               // a write failed: the header is left alone
    std::uint64_t data_bytes = 0;      // sample bytes written after the header
    std::uint32_t sample_rate = 0;
    int channels = 0;
    std::vector<std::uint8_t> buffer;  // one converted frame, reused

    WavWriter() = default;
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;
    // An unfinished writer fills in the sizes of what it wrote, ignoring errors, and closes; a staged
    // file is then removed.
    ~WavWriter();
};

void open_wav_output(WavWriter& writer, const std::filesystem::path& output_path, std::uint32_t sample_rate,
                     int channels, bool overwrite);

// Converts the frame into one buffer and appends it with one write.
void write_wav_frame(WavWriter& writer, const AVFrame& frame);

// Appends samples already in the file's form.
void write_wav_bytes(WavWriter& writer, std::span<const std::uint8_t> bytes);

// Checks the 4 GiB limit, fills in the sizes, closes the file and commits it under the output's name.
void finish_wav(WavWriter& writer);

}  // namespace orvane
