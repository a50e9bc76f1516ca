#include "support/error_text.hpp"

#include <exception>

namespace orvane::test {

std::string error_message(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "";
}

}  // namespace orvane::test
