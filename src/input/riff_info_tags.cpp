#include "input/riff_info_tags.hpp"

#include <algorithm>
#include <cstring>

#include "common/byte_order.hpp"
#include "common/text_encoding.hpp"

namespace orvane {

std::string info_text(std::span<const std::uint8_t> bytes) {
    const auto nul = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
    std::string text(bytes.begin(), nul);
    return is_valid_utf8(text) ? text : utf8_from_windows_1252(text);
}

TagSet riff_info_tags(std::span<const std::uint8_t> entries) {
    TagSet tags;
    const std::pair<const char*, const char*> names[] = {
        {"INAM", "TITLE"}, {"IART", "ARTIST"},  {"IPRD", "ALBUM"},     {"ICRD", "DATE"},   {"IGNR", "GENRE"},
        {"ICMT", "COMMENT"}, {"ITRK", "TRACK"}, {"ICOP", "COPYRIGHT"}, {"ICMS", "COMMISSIONED"},
    };
    std::size_t position = 0;
    while (entries.size() - position >= 8) {
        const std::uint8_t* const header = entries.data() + position;
        const std::uint32_t size = read_le32(header + 4);
        if (size > entries.size() - position - 8) break;
        const std::string text = info_text(entries.subspan(position + 8, size));
        for (const auto& [id, name] : names) {
            if (std::memcmp(header, id, 4) != 0 || text.empty()) continue;
            if (!set_tag_by_name(tags, name, text)) tags.extra.emplace_back(name, text);
        }
        position += 8 + std::size_t{size} + (size & 1);
        if (position > entries.size()) break;
    }
    return tags;
}

}  // namespace orvane
