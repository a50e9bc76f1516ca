#include "common/text_encoding.hpp"

namespace orvane {
namespace {

// Windows-1252 at 0x80..0x9F.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void append_utf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | code >> 18);
        out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

}  // namespace

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

std::string utf8_from_windows_1252(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (const unsigned char byte : text) {
        append_utf8(out, byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : char32_t{byte});
    }
    return out;
}

Utf16Text utf8_from_utf16(std::span<const std::uint8_t> bytes, ByteOrder order) {
    const auto unit = [&](std::size_t i) -> char32_t {
        return read_u16(bytes.data() + i, order);
    };
    Utf16Text text;
    text.utf8.reserve(bytes.size());
    std::size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        char32_t code = unit(i);
        if (code >= 0xDC00 && code <= 0xDFFF) break;
        if (code >= 0xD800 && code <= 0xDBFF) {
            if (i + 3 >= bytes.size()) break;
            const char32_t low = unit(i + 2);
            if (low < 0xDC00 || low > 0xDFFF) break;
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        append_utf8(text.utf8, code);
    }
    text.well_formed = i == bytes.size();
    return text;
}

}  // namespace orvane
