#pragma once

namespace orvane {

inline constexpr const char* kProgramName = "ORVANE";
inline constexpr const char* kProgramVersion = "1.0.1.0";
// Name, one space, version: the --version line, the banner's start and the encoder tag of outputs.
inline constexpr const char* kProgramId = "ORVANE 1.0.1.0";
inline constexpr const char* kVendorString = "ORVANE 1.0.1.0 - Arvensa DTS-in-WAV / DTS-CD Converter";

}  // namespace orvane
