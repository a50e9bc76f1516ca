#pragma once

#include <ostream>

#include "input/input_analysis.hpp"

namespace orvane {

// The four report lines (carrier, detection, packing, first sync offset); then a line when the input
// holds fewer payload bytes than its header declares, and what the analysis verified of the carrier.
void print_detection_report(std::ostream& out, const InputAnalysis& analysis);

}  // namespace orvane
