#include "platform/command_line_arguments.hpp"

namespace orvane {

// The bytes as the caller passed them: POSIX file names are bytes, UTF-8 by convention.
std::vector<std::string> command_line_arguments(int argc, char** argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
    return arguments;
}

}  // namespace orvane
