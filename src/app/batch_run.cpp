#include "app/batch_run.hpp"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ffmpeg/ffmpeg_log.hpp"
#include "output/output_policy.hpp"
#include "platform/file_identity.hpp"
#include "platform/file_pattern.hpp"
#include "platform/interruption.hpp"
#include "platform/utf8_path.hpp"

namespace orvane {
namespace {

struct BatchJob {
    RunOptions options;  // the single-file run's: the input and its output
    bool started = false;
    bool done = false;
    std::string report;                  // what the conversion reported
    std::optional<FileOutcome> outcome;  // none when it failed
    std::string failure;                 // FFmpeg's lines and the failed line
};

std::vector<BatchJob> plan_jobs(const RunOptions& options) {
    std::vector<std::string> inputs;
    for (const std::string& operand : options.operands) {
        for (std::string& input : files_matching(operand)) inputs.push_back(std::move(input));
    }
    std::vector<BatchJob> jobs(inputs.size());
    std::string extension = ".";
    extension += output_kind_name(*options.batch);
    for (std::size_t k = 0; k < jobs.size(); ++k) {
        RunOptions& single = jobs[k].options;
        single = options;
        std::filesystem::path output = path_from_utf8(inputs[k]);
        output.replace_extension(extension);
        single.operands = {inputs[k], utf8_from_path(output_in_folder(output, path_from_utf8(options.output_dir)))};
        single.output_dir.clear();
    }
    return jobs;
}

// The input an output would replace: its path as given, or (when the output exists) the same file
// under another spelling; SIZE_MAX for none.
std::size_t input_replaced(const std::filesystem::path& output, const std::map<std::filesystem::path, std::size_t>& paths,
                           const std::vector<std::optional<FileIdentity>>& inputs) {
    if (const auto named = paths.find(output); named != paths.end()) return named->second;
    const std::optional<FileIdentity> identity = file_identity(output);
    for (std::size_t k = 0; identity && k < inputs.size(); ++k) {
        if (inputs[k] == identity) return k;
    }
    return SIZE_MAX;
}

// Before any work: no output may be an input (its own, or another file's) or another file's output.
void check_collisions(const std::vector<BatchJob>& jobs) {
    std::map<std::filesystem::path, std::size_t> paths;
    std::vector<std::optional<FileIdentity>> inputs;
    for (std::size_t k = 0; k < jobs.size(); ++k) {
        const std::filesystem::path input = path_from_utf8(jobs[k].options.operands[0]);
        paths.emplace(input, k);
        inputs.push_back(file_identity(input));
    }
    std::set<std::filesystem::path> outputs;
    for (std::size_t k = 0; k < jobs.size(); ++k) {
        const std::string& input = jobs[k].options.operands[0];
        const std::filesystem::path output = path_from_utf8(jobs[k].options.operands[1]);
        const std::size_t replaced = input_replaced(output, paths, inputs);
        if (replaced == k) throw std::runtime_error(input + ": output file must not be the input file");
        if (replaced != SIZE_MAX) {
            throw std::runtime_error(input + ": its output is another input file: " + jobs[replaced].options.operands[0]);
        }
        if (!outputs.insert(std::filesystem::weakly_canonical(output)).second) {
            throw std::runtime_error(input + ": another file has the same output file: " + jobs[k].options.operands[1]);
        }
    }
}

// One file, as a single-file run converts it; its report and FFmpeg's lines kept for the printing.
void run_job(BatchJob& job, const FileConversion& convert) {
    std::ostringstream report;
    take_ffmpeg_log();  // nothing of an earlier file on this thread
    try {
        job.outcome = convert(job.options, report);
    } catch (const std::exception& error) {
        for (const std::string& line : take_ffmpeg_log()) job.failure += line;
        job.failure += job.options.operands[0] + ": failed: " + error.what() + "\n";
    }
    job.report = report.str();
}

// Runs the jobs on `workers` threads, each taking the next file not begun. Calls `finished` for each
// job in input order as soon as it and all before it are done; after an interruption, the files not
// yet begun are not begun.
void run_jobs(std::vector<BatchJob>& jobs, unsigned workers, const FileConversion& convert,
              const std::function<void(const BatchJob&)>& finished) {
    std::mutex mutex;
    std::condition_variable done;
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t k; (k = next++) < jobs.size();) {
            const bool begin = !interrupted();
            if (begin) {
                jobs[k].started = true;
                run_job(jobs[k], convert);
            }
            const std::lock_guard<std::mutex> lock(mutex);
            jobs[k].done = true;
            done.notify_all();
        }
    };
    std::vector<std::jthread> threads;
    for (unsigned t = 0; t < std::min<std::size_t>(workers, jobs.size()); ++t) threads.emplace_back(work);
    for (const BatchJob& job : jobs) {
        std::unique_lock<std::mutex> lock(mutex);
        done.wait(lock, [&] { return job.done; });
        lock.unlock();
        finished(job);
    }
}

struct BatchCount {
    std::size_t converted = 0;
    std::size_t failed = 0;
    std::size_t skipped = 0;
    std::size_t not_started = 0;  // after an interruption
};

// A file's report under its heading, then its outcome line: on standard output, or with FFmpeg's
// lines on standard error when it failed. --quiet leaves out the report alone.
void print_job(const BatchJob& job, std::size_t index, std::size_t count, std::ostream& report, BatchCount& counted) {
    const std::string& input = job.options.operands[0];
    if (!job.started) {
        ++counted.not_started;
        return;
    }
    report << "File " << index + 1 << " of " << count << ": " << input << "\n" << job.report;
    if (!job.outcome) {
        std::cout.flush();
        std::cerr << job.failure << std::flush;
        ++counted.failed;
    } else if (*job.outcome == FileOutcome::Converted) {
        std::cout << input << ": converted\n";
        ++counted.converted;
    } else {
        std::cout << input << ": skipped\n";
        ++counted.skipped;
    }
    report << "\n";
}

}  // namespace

int run_batch(const RunOptions& options, const FileConversion& convert, std::ostream& report) {
    if (options.operands.empty()) throw std::runtime_error("no input file specified");
    std::vector<BatchJob> jobs = plan_jobs(options);
    check_collisions(jobs);
    if (!options.output_dir.empty()) create_output_folder(path_from_utf8(options.output_dir));
    const unsigned workers = jobs_or_processors(options);
    BatchCount counted;
    std::size_t index = 0;
    run_jobs(jobs, workers, convert,
             [&](const BatchJob& job) { print_job(job, index++, jobs.size(), report, counted); });
    std::cout << counted.converted << " converted, " << counted.failed << " failed, " << counted.skipped << " skipped";
    if (counted.not_started > 0) std::cout << ", " << counted.not_started << " not started";
    std::cout << "\n" << std::flush;
    check_interruption();
    return counted.failed > 0 ? 2 : 0;
}

}  // namespace orvane
