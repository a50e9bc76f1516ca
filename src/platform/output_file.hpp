#pragma once

#include <cstdio>
#include <filesystem>

namespace orvane {

// Creates the file, or empties an existing one, for binary writing; nullptr when that fails.
std::FILE* open_output_file(const std::filesystem::path& path);

enum class NewFile { created, exists, failed };

// Creates an empty file where no entry of any kind is yet (not even a dangling link), and closes it:
// `exists` when the name is taken, `failed` for any other refusal.
NewFile create_new_file(const std::filesystem::path& path);

// Renames `from` to `to` in one step, replacing a file at `to`; false when that fails. Both in one
// folder, `from` closed.
bool replace_file(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace orvane
