#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/cover_picture.hpp"

namespace orvane {

// Tag texts, byte for byte, from the command line, a carrier's tags or a CUE sheet; an empty field
// means the tag is absent.
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
    // Any other tag by name (upper case, printable ASCII without "="), written after the fields above.
    std::vector<std::pair<std::string, std::string>> extra;
    // The front cover given with --picture, or the one the input carries.
    std::optional<CoverPicture> picture;
};

bool is_empty(const TagSet& tags);

// Sets the field that a common Vorbis comment or APEv2 name stands for (any case: "TITLE", "Year",
// "ALBUM ARTIST", "TRACKNUMBER", "Track" ...). A track or disc number written "3/12" also gives the
// total unless it is already set. Returns false for a name that is no field's.
bool set_tag_by_name(TagSet& tags, const std::string& name, const std::string& value);

// The tags of `base` with every non-empty field of `overrides` in place of its own; extra tags of
// both, those of `overrides` replacing any of the same name; the picture of `overrides` if it has one.
TagSet merge_tags(const TagSet& base, const TagSet& overrides);

}  // namespace orvane
