#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "input/dts_packing.hpp"
#include "input/payload.hpp"

namespace orvane {

struct InputAnalysis {
    // The carrier's "data" chunk body (cut to the bytes present), or the whole file for a raw stream.
    Payload payload;
    bool is_wav_carrier = false;
    std::uint32_t sample_rate = 0;
    std::uint16_t bits_per_sample = 0;
    std::uint16_t channels = 0;
    DtsPacking packing = DtsPacking::Unknown;
    std::uint64_t sync_offset = 0;
};

// Reads the whole file once and finds the first DTS sync word in its carried bytes.
InputAnalysis analyse_input(const std::filesystem::path& input_path);

// Parses a file image already in memory; the payload stays in that buffer, without a second copy.
InputAnalysis analyse_input_bytes(std::vector<std::uint8_t> file_bytes);

// The DTS stream as every operation reads it: the payload from the first sync word on.
inline std::span<const std::uint8_t> dts_stream(const InputAnalysis& analysis) {
    if (analysis.sync_offset >= analysis.payload.size()) return {};
    return analysis.payload.span().subspan(analysis.sync_offset);
}

}  // namespace orvane
