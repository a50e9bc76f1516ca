#include "platform/file_pattern.hpp"

namespace orvane {

std::vector<std::string> files_matching(const std::string& operand) { return {operand}; }

}  // namespace orvane
