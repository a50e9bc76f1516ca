#include "platform/terminal.hpp"

#include <windows.h>

namespace orvane {

// A console handle accepts GetConsoleMode; a file or a pipe does not (_isatty would also take NUL).
bool standard_error_is_terminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

}  // namespace orvane
