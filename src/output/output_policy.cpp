#include "output/output_policy.hpp"

#include <stdexcept>
#include <system_error>

#include "platform/file_identity.hpp"
#include "platform/utf8_path.hpp"

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
    // A path that cannot be queried (absent, or no permission) is never taken for the input.
    const auto input = file_identity(input_path);
    if (input && input == file_identity(output_path)) throw std::runtime_error("output file must not be the input file");
}

std::filesystem::path output_in_folder(const std::filesystem::path& output, const std::filesystem::path& folder) {
    return folder.empty() ? output : folder / output.filename();
}

void create_output_folder(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    // An existing folder is no error; anything else at that path, or a failed creation, is. (The
    // system's reason is left out: on Windows its text is not UTF-8.)
    if (error || !std::filesystem::is_directory(folder, error)) {
        throw std::runtime_error("cannot create the output folder: " + utf8_from_path(folder));
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
