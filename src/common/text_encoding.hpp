#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "common/byte_order.hpp"

namespace orvane {

// Text inside the program is UTF-8; these bring in what files hold in other encodings.

// True when the bytes are well-formed UTF-8 (shortest forms only, no surrogates, at most U+10FFFF).
bool is_valid_utf8(const std::string& text);

// Text written in Windows-1252 (what older Windows programs write), as UTF-8. The five bytes that
// code page leaves undefined keep the code point of the same value, as Latin-1 reads them.
std::string utf8_from_windows_1252(std::string_view text);

struct Utf16Text {
    std::string utf8;
    bool well_formed = true;  // false: an unpaired surrogate or an odd last byte ended the text early
};

// UTF-16 code units (after any byte-order mark) as UTF-8, up to the first that is malformed.
Utf16Text utf8_from_utf16(std::span<const std::uint8_t> bytes, ByteOrder order);

}  // namespace orvane
