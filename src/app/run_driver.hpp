#pragma once

#include <string>
#include <vector>

namespace orvane {

// One whole run: arguments without the program name; returns the exit status (0, 1 or 2).
int run_orvane(const std::vector<std::string>& arguments);

}  // namespace orvane
