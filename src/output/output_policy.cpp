#include "output/output_policy.hpp"

#include <stdexcept>
#include <system_error>

#include <sys/stat.h>

namespace orvane {

void apply_overwrite_rule(const std::filesystem::path& output_path, bool overwrite) {
    // The throwing overload reports a failed status query (not mere absence) as a filesystem error.
    if (std::filesystem::exists(output_path) && !overwrite) {
        throw std::runtime_error("output file already exists (use --overwrite)");
    }
}

void verify_output(const std::filesystem::path& output_path) {
    if (!std::filesystem::exists(output_path)) {
        throw std::runtime_error("conversion completed without creating the requested output file");
    }
    std::error_code error;
    const auto size = std::filesystem::file_size(output_path, error);
    if (error || size == 0) throw std::runtime_error("requested output file is empty or unreadable");
}

void ensure_output_is_not_input(const std::filesystem::path& input_path, const std::filesystem::path& output_path) {
    // Device and inode identify the file whatever the spelling or link; a path that cannot be
    // queried (absent, or no permission) is never taken for the input.
    struct stat input_status {};
    struct stat output_status {};
    if (::stat(input_path.c_str(), &input_status) != 0) return;
    if (::stat(output_path.c_str(), &output_status) != 0) return;
    if (input_status.st_dev == output_status.st_dev && input_status.st_ino == output_status.st_ino) {
        throw std::runtime_error("output file must not be the input file");
    }
}

void remove_path_quietly(const std::filesystem::path& path) noexcept {
    std::error_code ignored;
    // Only a file can be what a failed run left behind: a directory at the output path (which no
    // writer can have created) is the user's, even when it is empty.
    if (std::filesystem::is_directory(std::filesystem::symlink_status(path, ignored))) return;
    std::filesystem::remove(path, ignored);
}

}  // namespace orvane
