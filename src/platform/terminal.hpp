#pragma once

namespace orvane {

// Whether standard error is an interactive terminal, where a progress line redrawn in place helps;
// redirected to a file or a pipe it would only litter the log.
bool standard_error_is_terminal();

}  // namespace orvane
