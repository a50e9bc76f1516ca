#pragma once

#include <string>

namespace orvane {

// Tag texts from the command line, byte for byte; an empty field means the tag is absent.
struct TagSet {
    std::string title;
    std::string artist;
    std::string album;
    std::string album_artist;
    std::string genre;
    std::string date;
    std::string track;
    std::string track_total;
    std::string disc;
    std::string disc_total;
    std::string comment;
    std::string composer;
    std::string copyright;
};

bool is_empty(const TagSet& tags);

// True when the bytes are well-formed UTF-8 (shortest forms only, no surrogates, at most U+10FFFF).
bool is_valid_utf8(const std::string& text);

}  // namespace orvane
