#include "support/process_runner.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orvane::test {

namespace {

struct Pipe {
    int fd[2] = {-1, -1};
    Pipe() {
        if (::pipe2(fd, O_CLOEXEC) != 0) throw std::runtime_error(std::string("pipe failed: ") + std::strerror(errno));
    }
    ~Pipe() {
        close_end(0);
        close_end(1);
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    void close_end(int i) {
        if (fd[i] >= 0) ::close(fd[i]);
        fd[i] = -1;
    }
};

// Runs in the forked child: only async-signal-safe calls, nothing allocates.
[[noreturn]] void child(char* const* argv, int out_fd, int err_fd) {
    int null_fd = ::open("/dev/null", O_RDONLY);
    if (null_fd < 0 || ::dup2(null_fd, 0) < 0 || ::dup2(out_fd, 1) < 0 || ::dup2(err_fd, 2) < 0) ::_exit(127);
    ::execvp(argv[0], argv);
    static const char message[] = "run_program: exec failed\n";
    [[maybe_unused]] auto ignored = ::write(2, message, sizeof message - 1);
    ::_exit(127);
}

}  // namespace

ProcessResult run_program(const std::string& program, const std::vector<std::string>& args) {
    return run_program(program, args, nullptr);
}

ProcessResult run_program(const std::string& program, const std::vector<std::string>& args,
                          const std::function<void(int pid)>& while_running) {
    std::vector<char*> argv;
    argv.reserve(args.size() + 2);
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    Pipe out_pipe;
    Pipe err_pipe;
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error(std::string("fork failed: ") + std::strerror(errno));
    if (pid == 0) child(argv.data(), out_pipe.fd[1], err_pipe.fd[1]);
    out_pipe.close_end(1);
    err_pipe.close_end(1);
    if (while_running) while_running(pid);

    ProcessResult result;
    // Read both pipes as data arrives, so a child filling one of them never blocks.
    pollfd fds[2] = {{out_pipe.fd[0], POLLIN, 0}, {err_pipe.fd[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open_count = 2;
    char buffer[65536];
    while (open_count > 0) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            throw std::runtime_error(std::string("poll failed: ") + std::strerror(errno));
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                fds[i].fd = -1;  // end of file (or a read error): stop watching, the Pipe closes it
                --open_count;
            }
        }
    }

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) throw std::runtime_error(std::string("waitpid failed: ") + std::strerror(errno));
    }
    if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
    else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
        result.status = 128 + result.signal;
    }
    return result;
}

namespace {

std::string environment_or(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : fallback;
}

void drop_carriage_returns(std::string& text) {
    std::string::size_type kept = 0;
    for (std::string::size_type i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        text[kept++] = text[i];
    }
    text.resize(kept);
}

}  // namespace

ProcessResult run_native_orvane(const std::vector<std::string>& args) { return run_program(ORVANE_BINARY_PATH, args); }

bool testing_windows_build() { return environment_or("ORVANE_TEST_BINARY", ORVANE_BINARY_PATH).ends_with(".exe"); }

const char* tested_program_name() { return testing_windows_build() ? "orvane.exe" : "orvane"; }

ProcessResult run_orvane(const std::vector<std::string>& args, const std::function<void(int pid)>& while_running) {
    const std::string binary = environment_or("ORVANE_TEST_BINARY", ORVANE_BINARY_PATH);
    const std::string runner = environment_or("ORVANE_TEST_RUNNER", "");
    if (runner.empty()) return run_program(binary, args, while_running);
    std::vector<std::string> runner_args{binary};
    runner_args.insert(runner_args.end(), args.begin(), args.end());
    ProcessResult result = run_program(runner, runner_args, while_running);
    if (testing_windows_build()) {
        drop_carriage_returns(result.out);
        drop_carriage_returns(result.err);
    }
    return result;
}

ProcessResult run_orvane(const std::vector<std::string>& args) {
    return run_orvane(args, nullptr);
}

}  // namespace orvane::test
