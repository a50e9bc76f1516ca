#include "output/track_file_name.hpp"

#include <set>

#include "common/track_list.hpp"

namespace orvane {
namespace {

// Bytes of the title kept: with "NN - ", a counter and an extension well within 255.
constexpr std::size_t kMaxTitleBytes = 200;

bool is_refused(unsigned char c) {
    return c < 0x20 || c == 0x7F || std::string_view("<>:\"/\\|?*").find(static_cast<char>(c)) != std::string_view::npos;
}

std::string safe_title(const std::string& title) {
    std::string safe;
    for (const char c : title) safe += is_refused(static_cast<unsigned char>(c)) ? '_' : c;
    if (safe.size() > kMaxTitleBytes) {
        std::size_t cut = kMaxTitleBytes;
        while (cut > 0 && (static_cast<unsigned char>(safe[cut]) & 0xC0) == 0x80) --cut;  // whole characters
        safe.resize(cut);
    }
    const std::size_t first = safe.find_first_not_of(' ');
    const std::size_t last = safe.find_last_not_of(". ");
    if (first == std::string::npos || last == std::string::npos || last < first) return "";
    return safe.substr(first, last - first + 1);
}

std::string folded(const std::string& name) {
    std::string lower = name;
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

}  // namespace

std::vector<std::string> track_file_names(const std::vector<NamedTrack>& tracks, std::string_view extension) {
    std::vector<std::string> names;
    std::set<std::string> taken;
    for (const NamedTrack& track : tracks) {
        std::string stem = two_digit_track_label(track.number);
        const std::string title = safe_title(track.title);
        if (!title.empty()) stem += " - " + title;
        std::string name = stem + std::string(extension);
        for (int copy = 2; !taken.insert(folded(name)).second; ++copy) {
            name = stem + " (" + std::to_string(copy) + ")" + std::string(extension);
        }
        names.push_back(std::move(name));
    }
    return names;
}

}  // namespace orvane
