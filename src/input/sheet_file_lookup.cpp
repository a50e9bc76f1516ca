#include "input/sheet_file_lookup.hpp"

#include <algorithm>
#include <system_error>

#include "platform/utf8_path.hpp"

namespace orvane {
namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool same_ignoring_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

// A name's stem and extension (with its dot); a leading dot starts no extension.
std::pair<std::string_view, std::string_view> split_extension(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return {name, {}};
    return {name.substr(0, dot), name.substr(dot)};
}

bool is_lossless_extension(std::string_view extension) {
    return same_ignoring_case(extension, ".flac") || same_ignoring_case(extension, ".wv") ||
           same_ignoring_case(extension, ".wav");
}

SheetFileMatch one_or_candidates(std::vector<std::string> matches) {
    std::sort(matches.begin(), matches.end());
    if (matches.size() == 1) return {matches.front(), {}};
    return {"", std::move(matches)};
}

// The regular files of a folder, by name; none when it cannot be read.
std::vector<std::string> file_names_in(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder.empty() ? "." : folder, error), end; !error && it != end;
         it.increment(error)) {
        std::error_code type_error;
        if (it->is_regular_file(type_error)) names.push_back(utf8_from_path(it->path().filename()));
    }
    return names;
}

}  // namespace

SheetFileMatch match_sheet_file(std::string_view named, const std::vector<std::string>& names) {
    std::vector<std::string> matches;
    for (const std::string& name : names) {
        if (same_ignoring_case(name, named)) matches.push_back(name);
    }
    if (!matches.empty()) return one_or_candidates(std::move(matches));
    const std::string_view stem = split_extension(named).first;
    for (const std::string& name : names) {
        const auto [other_stem, extension] = split_extension(name);
        if (same_ignoring_case(other_stem, stem) && is_lossless_extension(extension)) matches.push_back(name);
    }
    return one_or_candidates(std::move(matches));
}

SheetFile locate_sheet_file(const std::filesystem::path& sheet_folder, const std::string& named) {
    SheetFile file;
    file.path = sheet_folder / path_from_utf8(named);
    std::error_code error;
    if (std::filesystem::is_regular_file(file.path, error)) {
        file.found = true;
        return file;
    }
    const std::string name = utf8_from_path(file.path.filename());
    const SheetFileMatch match = match_sheet_file(name, file_names_in(file.path.parent_path()));
    file.candidates = match.candidates;
    if (match.found.empty()) return file;
    file.path.replace_filename(path_from_utf8(match.found));
    file.found = true;
    file.note = "CUE sheet names " + name + ": using " + match.found;
    return file;
}

std::string image_not_found_message(const SheetFile& file) {
    std::string message = "image file not found: " + utf8_from_path(file.path);
    for (std::size_t k = 0; k < file.candidates.size(); ++k) {
        message += (k == 0 ? " (several files could be meant: " : ", ") + file.candidates[k];
    }
    return file.candidates.empty() ? message : message + ")";
}

}  // namespace orvane
