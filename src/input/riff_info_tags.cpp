#include "input/riff_info_tags.hpp"

#include <cstring>

namespace orvane {
namespace {

// Windows-1252 at 0x80..0x9F; the five bytes it leaves undefined are read as Latin-1 does.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void append_utf8(std::string& out, char16_t code) {
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

}  // namespace

std::string info_text(std::span<const std::uint8_t> bytes) {
    const void* const nul = std::memchr(bytes.data(), 0, bytes.size());
    const std::size_t length = nul == nullptr ? bytes.size() : static_cast<const std::uint8_t*>(nul) - bytes.data();
    std::string text(reinterpret_cast<const char*>(bytes.data()), length);
    if (is_valid_utf8(text)) return text;
    std::string converted;
    converted.reserve(length * 2);
    for (const unsigned char c : text) {
        append_utf8(converted, c >= 0x80 && c < 0xA0 ? kWindows1252High[c - 0x80] : char16_t{c});
    }
    return converted;
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
        const std::uint32_t size = header[4] | header[5] << 8 | header[6] << 16 | std::uint32_t{header[7]} << 24;
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
