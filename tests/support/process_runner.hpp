#pragma once

#include <string>
#include <vector>

namespace orvane::test {

struct ProcessResult {
    int status = -1;  // exit status, or 128 + signal number
    std::string out;
    std::string err;
};

// Runs a program (looked up on PATH when it has no slash) with the arguments, no shell, and
// captures everything; standard input is /dev/null.
ProcessResult run_program(const std::string& program, const std::vector<std::string>& args);

// Runs the built orvane binary.
ProcessResult run_orvane(const std::vector<std::string>& args);

}  // namespace orvane::test
