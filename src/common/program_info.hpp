#pragma once

// The version is written once, in CMakeLists.txt's project() line, which defines ORVANE_VERSION.
#ifndef ORVANE_VERSION
#error "ORVANE_VERSION is defined by the build (CMakeLists.txt)"
#endif

namespace orvane {

// Name, one space, version: the --version line, the banner's start and the encoder tag of outputs.
inline constexpr const char* kProgramId = "ORVANE " ORVANE_VERSION;
inline constexpr const char* kVendorString = "ORVANE " ORVANE_VERSION " - Arvensa DTS-in-WAV / DTS-CD Converter";

}  // namespace orvane
