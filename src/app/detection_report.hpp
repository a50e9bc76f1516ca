#pragma once

#include <ostream>

#include "input/input_analysis.hpp"

namespace orvane {

// The four report lines: carrier, detection, packing and first sync offset; then what the analysis
// verified of the carrier.
void print_detection_report(std::ostream& out, const InputAnalysis& analysis);

}  // namespace orvane
