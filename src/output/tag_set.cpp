#include "output/tag_set.hpp"

#include <algorithm>
#include <cctype>

namespace orvane {

namespace {

// Windows-1252 at 0x80..0x9F.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

std::string utf8_from_windows_1252(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (const unsigned char byte : text) {
        const char16_t code = byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : char16_t{byte};
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | code >> 6);
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | code >> 12);
            out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return out;
}

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

bool is_valid_utf8(const std::string& text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* const end = p + text.size();
    while (p < end) {
        const unsigned char lead = *p++;
        if (lead < 0x80) continue;
        int more = 0;
        unsigned char low = 0x80;  // bounds of the second byte, which rule out overlong forms,
        unsigned char high = 0xBF; // surrogates and code points past U+10FFFF
        if (lead >= 0xC2 && lead <= 0xDF) {
            more = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            more = 2;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            more = 3;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        } else {
            return false;
        }
        if (end - p < more || *p < low || *p > high) return false;
        for (int i = 1; i < more; ++i) {
            if ((p[i] & 0xC0) != 0x80) return false;
        }
        p += more;
    }
    return true;
}

}  // namespace orvane
