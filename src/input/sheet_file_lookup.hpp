#pragma once

// The files a CUE sheet names, found as users keep them: rippers write the sheet before the image is
// compressed (FILE "Album.wav" beside Album.flac) or in another letter case (FILE "IMAGE.WAV" beside
// image.wav, which only a case-insensitive file system finds).

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// Which of `names` (the files of the folder the sheet points into) a sheet naming `named` (a file
// name without folder) that is not there means: first the same name in another letter case, else the
// same stem with a lossless audio extension (.flac, .wv, .wav), letter case aside. `found` is set
// when exactly one matches; several that match alike are the candidates, sorted.
struct SheetFileMatch {
    std::string found;
    std::vector<std::string> candidates;
};
SheetFileMatch match_sheet_file(std::string_view named, const std::vector<std::string>& names);

// The file a FILE line names (`named` as the sheet writes it, relative to `sheet_folder` unless
// absolute): the file itself when it exists, else the one match_sheet_file gives among its folder's
// files, told by `note` ("CUE sheet names Album.wav: using Album.flac"). When none or several match,
// `found` is false, `path` the named path and `candidates` the several.
struct SheetFile {
    std::filesystem::path path;
    bool found = false;
    std::string note;
    std::vector<std::string> candidates;
};
SheetFile locate_sheet_file(const std::filesystem::path& sheet_folder, const std::string& named);

// "image file not found: <path>", naming the candidates when several match.
std::string image_not_found_message(const SheetFile& file);

}  // namespace orvane
