#pragma once

#include <ostream>

#include "app/command_line.hpp"

namespace orvane {

// The --gapless run: the operands are consecutive tracks of one disc, converted as one continuous
// stream into one output per track beside its input. Returns the exit status.
int convert_gapless(const RunOptions& options, std::ostream& out);

}  // namespace orvane
