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

// Runs the built orvane binary.
ProcessResult run_orvane(const std::vector<std::string>& args);
ProcessResult run_orvane(const std::vector<std::string>& args, const std::function<void(int pid)>& while_running);

}  // namespace orvane::test
