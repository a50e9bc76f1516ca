#pragma once

#include <functional>
#include <string>

namespace orvane::test {

// The message of the error the action raises, or "" when it raises none.
std::string error_message(const std::function<void()>& action);

inline const std::string kTrustLine = "No output file should be trusted if conversion was interrupted.\n";

// What the program prints on standard error when a run fails with this message.
inline std::string error_report(const std::string& message) { return "Error: " + message + "\n" + kTrustLine; }

}  // namespace orvane::test
