#pragma once

#include <string>
#include <vector>

namespace orvane {

// The arguments after the program's name, as UTF-8 text whatever the system's code page.
std::vector<std::string> command_line_arguments(int argc, char** argv);

}  // namespace orvane
