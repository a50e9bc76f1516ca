#pragma once

#include <filesystem>

namespace orvane {

// An output that appears under its name only complete. Constructed where a writer creates its file:
// the overwrite rule is applied, then a temporary file (hidden by its leading dot where that hides)
// is created beside the file the output path names (through its links), with that file's
// permissions; the writer writes `path`, and commit() renames it over the output once it is
// finished. Left uncommitted (a failure, an interruption) the temporary file is removed, and what
// was at the output path stays as it was.
// An output that is no regular file (a device, a FIFO, a directory) is written at the output path
// itself, as is one that cannot be staged (no file can be made in its folder, or an existing file
// there refuses writing), so it fails or succeeds as a direct write would.
struct StagedOutput {
    std::filesystem::path target;  // the file that commit() replaces
    std::filesystem::path path;    // where the writer writes: the temporary file, or the output path
    bool pending = false;          // a temporary file exists and is not yet committed

    StagedOutput(const std::filesystem::path& output_path, bool overwrite);
    StagedOutput(StagedOutput&& other) noexcept;
    StagedOutput(const StagedOutput&) = delete;
    StagedOutput& operator=(const StagedOutput&) = delete;
    StagedOutput& operator=(StagedOutput&&) = delete;
    ~StagedOutput();

    // Once the file at `path` is written and closed: fails with "interrupted" after an interruption,
    // checks the file as verify_output does, then renames it over the target. Nothing for a direct
    // output, which the caller verifies where it is.
    void commit();
};

}  // namespace orvane
