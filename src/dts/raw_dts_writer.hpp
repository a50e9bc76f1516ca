#pragma once

#include <filesystem>

#include "input/input_analysis.hpp"

namespace orvane {

// The .dts operation: lossless extraction of the carried bitstream into a raw DTS file.
void write_raw_dts(const std::filesystem::path& output_path, const InputAnalysis& analysis, bool overwrite,
                   bool quiet);

}  // namespace orvane
