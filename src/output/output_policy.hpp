#pragma once

#include <filesystem>

namespace orvane {

// Every writer applies this (through StagedOutput) right before it creates the output: an existing
// entry (file, directory, resolving link) is refused unless overwriting was asked for.
void apply_overwrite_rule(const std::filesystem::path& output_path, bool overwrite);

// After an operation returned: the output must exist and be non-empty.
void verify_output(const std::filesystem::path& output_path);

// Refuses an output path that names the input file (same path, another spelling, a link to it,
// another hard link, another letter case where the file system ignores case), so no run can
// truncate or remove its own source.
void ensure_output_is_not_input(const std::filesystem::path& input_path, const std::filesystem::path& output_path);

// An output's path with --output-dir: its file name in `folder`; the path itself when `folder` is "".
std::filesystem::path output_in_folder(const std::filesystem::path& output, const std::filesystem::path& folder);

// Creates the --output-dir folder and its parents where missing; fails naming it.
void create_output_folder(const std::filesystem::path& folder);

// Removes the file at the path, ignoring every failure (absence included); a directory stays.
void remove_path_quietly(const std::filesystem::path& path) noexcept;

}  // namespace orvane
