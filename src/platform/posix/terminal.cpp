#include "platform/terminal.hpp"

#include <unistd.h>

namespace orvane {

bool standard_error_is_terminal() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace orvane
