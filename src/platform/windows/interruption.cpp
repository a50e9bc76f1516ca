#include "platform/interruption.hpp"

#include <iostream>

#include <windows.h>

namespace orvane {
namespace {

// Windows calls this on a thread of its own. Event codes start at 0, so each is noted plus one.
BOOL WINAPI on_console_event(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        note_interruption(static_cast<int>(event) + 1);
        return TRUE;
    case CTRL_CLOSE_EVENT:
        note_interruption(static_cast<int>(event) + 1);
        // Returning would end the process at once; waiting here lets the main thread stop at its next
        // frame, leave the output as a failure does and end the process itself (Windows allows a
        // few seconds for that).
        Sleep(INFINITE);
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace

void catch_interruptions() { SetConsoleCtrlHandler(on_console_event, TRUE); }

[[noreturn]] void end_as_interrupted() {
    std::cout.flush();
    std::cerr.flush();
    // STATUS_CONTROL_C_EXIT (0xC000013A) is the status of a console program that Ctrl-C ended
    // uncaught; cmd.exe and calling programs take it for an interrupted child, as a POSIX shell takes
    // death by SIGINT. ExitProcess also ends the handler thread waiting above.
    ExitProcess(STATUS_CONTROL_C_EXIT);
}

}  // namespace orvane
