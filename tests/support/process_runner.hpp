#pragma once

#include <functional>
#include <string>
#include <vector>

namespace orvane::test {

struct ProcessResult {
    int status = -1;  // exit status, or 128 + signal number
    int signal = 0;   // the signal that ended the child, 0 when it exited
    std::string out;
    std::string err;
};

// Runs a program (looked up on PATH when it has no slash) with the arguments, no shell, and
// captures everything; standard input is /dev/null.
ProcessResult run_program(const std::string& program, const std::vector<std::string>& args);

// The same, calling `while_running` with the child's process id once it has started (before its
// output is read, so the child must not fill a pipe meanwhile); the child is reaped only afterwards,
// so signalling that id is always safe.
ProcessResult run_program(const std::string& program, const std::vector<std::string>& args,
                          const std::function<void(int pid)>& while_running);

// Runs the orvane binary under test: this build's, or the one named by ORVANE_TEST_BINARY, started
// through the command in ORVANE_TEST_RUNNER when set (wine for a Windows build). A Windows build's
// line ends are read back as line feeds.
ProcessResult run_orvane(const std::vector<std::string>& args);
ProcessResult run_orvane(const std::vector<std::string>& args, const std::function<void(int pid)>& while_running);

// Runs this build's own binary, whatever binary is under test: the reference a Windows build is
// compared with.
ProcessResult run_native_orvane(const std::vector<std::string>& args);

// True when the binary under test is a Windows build.
bool testing_windows_build();

// The program's name as the usage text of the binary under test shows it.
const char* tested_program_name();

}  // namespace orvane::test
