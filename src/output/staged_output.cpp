#include "output/staged_output.hpp"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>

#include "output/output_policy.hpp"
#include "platform/interruption.hpp"
#include "platform/output_file.hpp"

namespace orvane {
namespace {

namespace fs = std::filesystem;

// The file a path names once its links are followed; for a dangling link, the file it would create.
fs::path link_target(fs::path path) {
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(path, error))) return path;
        const fs::path next = fs::read_symlink(path, error);
        if (error) return path;
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    return path;
}

// Opening for appending changes nothing, and is refused where emptying the file would be (a
// read-only file, one another program holds locked), which a rename would not notice.
bool can_be_written(const fs::path& file) { return std::ofstream(file, std::ios::binary | std::ios::app).is_open(); }

// Hidden, marked as this program's, and unlike any name a user gives; a long output name is left
// out, so the temporary one stays within the file system's limit.
fs::path temporary_name(const fs::path& target, unsigned attempt) {
    static const auto seed = static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
    char token[16];
    std::snprintf(token, sizeof token, "%08x", seed + attempt * 0x9E3779B9u);
    fs::path name(".");
    if (target.filename().native().size() <= 200) name += target.filename().native() + fs::path::string_type(1, '.');
    name += "orvane-" + std::string(token) + ".part";
    return target.parent_path() / name;
}

}  // namespace

StagedOutput::StagedOutput(const fs::path& output_path, bool overwrite) : path(output_path) {
    apply_overwrite_rule(output_path, overwrite);
    const fs::path file = link_target(output_path);
    std::error_code error;
    const fs::file_status status = fs::symlink_status(file, error);
    const bool replacing = fs::exists(status);
    if (replacing && (!fs::is_regular_file(status) || !can_be_written(file))) return;
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const fs::path temporary = temporary_name(file, attempt);
        const NewFile created = create_new_file(temporary);
        if (created == NewFile::exists) continue;
        if (created == NewFile::failed) return;
        // Set before anything is written, so a private file's content is never readable by others.
        if (replacing) fs::permissions(temporary, status.permissions(), fs::perm_options::replace, error);
        target = file;
        path = temporary;
        pending = true;
        return;
    }
}

StagedOutput::StagedOutput(StagedOutput&& other) noexcept
    : target(std::move(other.target)), path(std::move(other.path)), pending(std::exchange(other.pending, false)) {}

StagedOutput::~StagedOutput() {
    if (!pending) return;
    std::error_code ignored;
    fs::remove(path, ignored);
}

void StagedOutput::commit() {
    if (!pending) return;
    check_interruption();
    verify_output(path);
    if (!replace_file(path, target)) throw std::runtime_error("unable to move the finished output file into place");
    pending = false;
}

}  // namespace orvane
