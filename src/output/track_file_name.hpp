#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvane {

struct NamedTrack {
    int number = 0;     // 1 to 99
    std::string title;  // UTF-8, may be empty
};

// The file names of a disc's tracks in one folder: "NN - Title<extension>", "NN<extension>" without a
// title. Whatever the title holds, each name is one plain file name that Windows can create too: the
// characters it refuses (<>:"/\|?* and control characters) become "_", trailing dots and spaces go,
// the title is cut to a length every file system takes, and no two names differ in letter case only.
// Starting with the track's digits, a name can be neither ".." nor a device name (CON, NUL, COM1 ...).
std::vector<std::string> track_file_names(const std::vector<NamedTrack>& tracks, std::string_view extension);

}  // namespace orvane
