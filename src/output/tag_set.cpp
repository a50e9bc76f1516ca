#include "output/tag_set.hpp"

namespace orvane {

bool is_empty(const TagSet& tags) {
    return tags.title.empty() && tags.artist.empty() && tags.album.empty() && tags.album_artist.empty() &&
           tags.genre.empty() && tags.date.empty() && tags.track.empty() && tags.track_total.empty() &&
           tags.disc.empty() && tags.disc_total.empty() && tags.comment.empty() && tags.composer.empty() &&
           tags.copyright.empty();
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
