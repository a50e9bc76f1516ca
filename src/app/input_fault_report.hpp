#pragma once

#include <filesystem>

namespace orvane {

// The input file is mapped into memory rather than copied (input_analysis.hpp). Should it shrink, or
// fail to read, while the run still needs it, the next access to the lost part raises SIGBUS. This
// turns that signal into the program's ordinary failure: the EAC clean-up of the output, the two-line
// report with "unable to read input file", exit status 2.
void install_input_fault_report();

// The path the report removes (the EAC mode's output), never when it names `input_path`.
void set_input_fault_cleanup(const std::filesystem::path& cleanup_path, const std::filesystem::path& input_path);

}  // namespace orvane
