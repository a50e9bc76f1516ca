#include "common/tag_set.hpp"

#include <cctype>

namespace orvane {
namespace {

std::string upper_case(const std::string& text) {
    std::string upper = text;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

// "3/12" sets the number to 3 and, unless already known, the total to 12.
void set_number(std::string& number, std::string& total, const std::string& value) {
    const auto slash = value.find('/');
    number = value.substr(0, slash);
    if (slash != std::string::npos && total.empty()) total = value.substr(slash + 1);
}

}  // namespace

bool is_empty(const TagSet& tags) {
    return tags.title.empty() && tags.artist.empty() && tags.album.empty() && tags.album_artist.empty() &&
           tags.genre.empty() && tags.date.empty() && tags.track.empty() && tags.track_total.empty() &&
           tags.disc.empty() && tags.disc_total.empty() && tags.comment.empty() && tags.composer.empty() &&
           tags.copyright.empty() && tags.extra.empty() && !tags.picture;
}

bool set_tag_by_name(TagSet& tags, const std::string& name, const std::string& value) {
    const std::string key = upper_case(name);
    if (key == "TRACKNUMBER" || key == "TRACK") {
        set_number(tags.track, tags.track_total, value);
        return true;
    }
    if (key == "DISCNUMBER" || key == "DISC") {
        set_number(tags.disc, tags.disc_total, value);
        return true;
    }
    const std::pair<const char*, std::string*> fields[] = {
        {"TITLE", &tags.title},         {"ARTIST", &tags.artist},           {"ALBUM", &tags.album},
        {"ALBUMARTIST", &tags.album_artist}, {"ALBUM ARTIST", &tags.album_artist},
        {"ALBUM_ARTIST", &tags.album_artist}, {"GENRE", &tags.genre},       {"DATE", &tags.date},
        {"YEAR", &tags.date},           {"TRACKTOTAL", &tags.track_total},  {"TOTALTRACKS", &tags.track_total},
        {"DISCTOTAL", &tags.disc_total}, {"TOTALDISCS", &tags.disc_total},  {"COMMENT", &tags.comment},
        {"DESCRIPTION", &tags.comment}, {"COMPOSER", &tags.composer},       {"COPYRIGHT", &tags.copyright},
    };
    for (const auto& [field_name, field] : fields) {
        if (key == field_name) {
            *field = value;
            return true;
        }
    }
    return false;
}

TagSet merge_tags(const TagSet& base, const TagSet& overrides) {
    TagSet merged = base;
    std::string TagSet::*const fields[] = {
        &TagSet::title, &TagSet::artist,     &TagSet::album,   &TagSet::album_artist, &TagSet::genre,
        &TagSet::date,  &TagSet::track,      &TagSet::track_total, &TagSet::disc,     &TagSet::disc_total,
        &TagSet::comment, &TagSet::composer, &TagSet::copyright,
    };
    for (const auto field : fields) {
        if (!(overrides.*field).empty()) merged.*field = overrides.*field;
    }
    for (const auto& entry : overrides.extra) {
        std::erase_if(merged.extra, [&](const auto& old) { return old.first == entry.first; });
        merged.extra.push_back(entry);
    }
    if (overrides.picture) merged.picture = overrides.picture;
    return merged;
}

}  // namespace orvane
