#pragma once

#include <string>
#include <vector>

namespace orvane {

// The files an operand names. A POSIX shell has already expanded any pattern, so there it names
// itself. Windows' command prompt passes "*.wav" on as typed: a name holding * or ? (which no
// Windows file name holds) is expanded there to the files it matches, its folder part kept, sorted;
// left as typed when it matches none.
std::vector<std::string> files_matching(const std::string& operand);

}  // namespace orvane
