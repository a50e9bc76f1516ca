#pragma once

namespace orvane {

// Ctrl-C and its kin (SIGINT, SIGTERM and SIGHUP; on Windows Ctrl-C, Ctrl-Break and closing the
// console) do not kill a run outright: they are noted, the operations stop at their next frame and
// fail with "interrupted", and the output is left as any failure leaves it.

// Installs the platform's handlers; the entry point calls it once, before the run.
void catch_interruptions();

// True once an interruption was noted.
bool interrupted() noexcept;

// Fails with "interrupted" once an interruption was noted; operations call it between frames.
void check_interruption();

// Ends the process as the interruption would have ended it uncaught, so that a calling shell or
// script sees an interrupted child and stops too. Called after the failure report.
[[noreturn]] void end_as_interrupted();

// For the platform's handler alone: notes the cause (a signal number, or an event code). Only
// stores a lock-free atomic, so it is safe inside a signal handler.
void note_interruption(int cause) noexcept;

// The cause first noted, 0 when none.
int interruption_cause() noexcept;

}  // namespace orvane
