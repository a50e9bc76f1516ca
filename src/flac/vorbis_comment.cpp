#include "flac/vorbis_comment.hpp"

#include <cstring>

#include "common/byte_order.hpp"
#include "flac/flac_metadata_block.hpp"
#include "common/program_info.hpp"

namespace orvane {
namespace {

void append_text(std::vector<std::uint8_t>& out, const std::string& text) {
    append_le(out, text.size(), 4);
    out.insert(out.end(), text.begin(), text.end());
}

}  // namespace

std::vector<std::string> build_vorbis_comments(const TagSet& tags) {
    const std::pair<const char*, const std::string*> fields[] = {
        {"TITLE", &tags.title},           {"ARTIST", &tags.artist},
        {"ALBUM", &tags.album},           {"ALBUMARTIST", &tags.album_artist},
        {"GENRE", &tags.genre},           {"DATE", &tags.date},
        {"TRACKNUMBER", &tags.track},     {"TRACKTOTAL", &tags.track_total},
        {"DISCNUMBER", &tags.disc},       {"DISCTOTAL", &tags.disc_total},
        {"COMMENT", &tags.comment},       {"COMPOSER", &tags.composer},
        {"COPYRIGHT", &tags.copyright},
    };
    std::vector<std::string> comments;
    for (const auto& [key, value] : fields) {
        if (!value->empty()) comments.push_back(std::string(key) + "=" + *value);
    }
    for (const auto& [key, value] : tags.extra) {
        if (!value.empty()) comments.push_back(key + "=" + value);
    }
    comments.push_back(std::string("ENCODER=") + kProgramId);
    return comments;
}

std::vector<std::uint8_t> build_vorbis_comment_body(const TagSet& tags) {
    const std::vector<std::string> comments = build_vorbis_comments(tags);
    std::size_t size = 8 + std::strlen(kVendorString);
    for (const auto& comment : comments) size += 4 + comment.size();
    std::vector<std::uint8_t> body;
    body.reserve(size);
    append_text(body, kVendorString);
    append_le(body, comments.size(), 4);
    for (const auto& comment : comments) append_text(body, comment);
    return body;
}

void write_vorbis_comment_block(std::FILE* file, const TagSet& tags) {
    write_flac_block(file, FlacBlockType::VorbisComment, build_vorbis_comment_body(tags),
                     "error writing FLAC Vorbis comments");
}

}  // namespace orvane
