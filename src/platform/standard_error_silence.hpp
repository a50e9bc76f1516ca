#pragma once

#include <functional>

namespace orvane {

// Runs `work` with the process's standard error sent nowhere, for a library that prints its own
// complaints there while this program reports the failure in its own words. Restored on every path.
void with_standard_error_silenced(const std::function<void()>& work);

}  // namespace orvane
