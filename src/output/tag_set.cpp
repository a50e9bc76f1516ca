#include "output/tag_set.hpp"

namespace orvane {

bool is_empty(const TagSet& tags) {
    return tags.title.empty() && tags.artist.empty() && tags.album.empty() && tags.album_artist.empty() &&
           tags.genre.empty() && tags.date.empty() && tags.track.empty() && tags.track_total.empty() &&
           tags.disc.empty() && tags.disc_total.empty() && tags.comment.empty() && tags.composer.empty() &&
           tags.copyright.empty();
}

}  // namespace orvane
