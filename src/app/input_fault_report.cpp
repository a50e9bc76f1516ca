#include "app/input_fault_report.hpp"

#include <csignal>
#include <cstdio>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace orvane {
namespace {

// Set before the input is analysed and only read by the handler, which allocates nothing.
std::string cleanup_path;
std::string input_path;

bool same_file(const char* a, const char* b) {
    struct stat first {};
    struct stat second {};
    return ::stat(a, &first) == 0 && ::stat(b, &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

extern "C" void report_input_fault(int) {
    // The lines printed so far come first, as with every other failure.
    std::fflush(stdout);
    if (!cleanup_path.empty() && !same_file(cleanup_path.c_str(), input_path.c_str())) {
        struct stat status {};
        // Only a file can be what the run left behind; a directory at the path is the user's.
        if (::lstat(cleanup_path.c_str(), &status) == 0 && !S_ISDIR(status.st_mode)) ::unlink(cleanup_path.c_str());
    }
    static const char kReport[] =
        "Error: unable to read input file\nNo output file should be trusted if conversion was interrupted.\n";
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, kReport, sizeof kReport - 1);
    ::_exit(2);
}

}  // namespace

void install_input_fault_report() {
    struct sigaction action {};
    action.sa_handler = report_input_fault;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGBUS, &action, nullptr);
}

void set_input_fault_cleanup(const std::filesystem::path& cleanup, const std::filesystem::path& input) {
    cleanup_path = cleanup.string();
    input_path = input.string();
}

}  // namespace orvane
