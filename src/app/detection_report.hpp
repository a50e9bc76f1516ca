#pragma once

#include <ostream>
#include <string>

#include "input/input_analysis.hpp"

namespace orvane {

// The four report lines (carrier, detection, packing, first sync offset); then a line when the input
// holds fewer payload bytes than its header declares, and what the analysis verified of the carrier.
void print_detection_report(std::ostream& out, const InputAnalysis& analysis);

// An input cut short is warned of on standard error in every mode, quiet ones included: the run
// succeeds, but its output is as short as the input. `label` names the input when several are read;
// `out` is flushed first, so that the warning follows what was reported before it.
void warn_if_cut_short(std::ostream& out, const InputAnalysis& analysis, const std::string& label = "");

}  // namespace orvane
