#pragma once

#include <string>
#include <vector>

namespace orvane {

// One whole run: arguments without the program name; returns the exit status (0, 1 or 2).
int run_orvane(const std::vector<std::string>& arguments);

// The run of the process: its arguments as the platform delivers them, read as UTF-8.
int run_orvane(int argc, char** argv);

}  // namespace orvane
