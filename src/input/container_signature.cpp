#include "input/container_signature.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string_view>
#include <utility>

#include "common/byte_order.hpp"

namespace orvane {
namespace {

using Bytes = std::span<const std::uint8_t>;

bool text_at(Bytes file, std::uint64_t offset, std::string_view text) {
    return offset <= file.size() && text.size() <= file.size() - offset &&
           std::memcmp(file.data() + offset, text.data(), text.size()) == 0;
}

// An EBML header whose DocType names Matroska or WebM.
std::optional<std::string> matroska(Bytes file) {
    if (!text_at(file, 0, "\x1A\x45\xDF\xA3")) return std::nullopt;
    const std::uint64_t end = std::min<std::uint64_t>(file.size(), 64);
    for (std::uint64_t p = 4; p + 3 <= end; ++p) {
        if (file[p] != 0x42 || file[p + 1] != 0x82 || file[p + 2] == 0) continue;
        // The DocType's size: an EBML variable-length number, its length told by its leading zeros.
        const int length = std::countl_zero(file[p + 2]) + 1;
        if (p + 2 + length > end) break;
        const std::uint64_t size = read_be(&file[p + 2], length) & ((std::uint64_t{1} << (7 * length)) - 1);
        const std::uint64_t text = p + 2 + length;
        if (size == 8 && text_at(file, text, "matroska")) return "a Matroska file";
        if (size == 4 && text_at(file, text, "webm")) return "a WebM file";
    }
    return std::nullopt;
}

// The size of the ISO base media box (QuickTime atom) at `offset`, 0 when none fits in the file.
std::uint64_t box_size(Bytes file, std::uint64_t offset) {
    if (offset > file.size() || file.size() - offset < 8) return 0;
    std::uint64_t size = read_be(&file[offset], 4);
    if (size == 1 && file.size() - offset >= 16) size = read_be(&file[offset + 8], 8);  // 64-bit size
    return size >= 8 && size <= file.size() - offset ? size : 0;
}

bool is_top_level_box(Bytes file, std::uint64_t offset) {
    for (const char* type : {"ftyp", "moov", "mdat", "wide", "free", "skip", "uuid", "udta"}) {
        if (text_at(file, offset + 4, type)) return box_size(file, offset) > 0;
    }
    return false;
}

// A "ftyp" box first, as MP4 and newer QuickTime files have; or, in older QuickTime files, two
// top-level atoms one after the other (or one that spans the whole file).
std::optional<std::string> iso_media(Bytes file) {
    const std::uint64_t first = box_size(file, 0);
    if (first == 0) return std::nullopt;
    if (text_at(file, 4, "ftyp")) {
        if (first < 16 || first % 4 != 0) return std::nullopt;
        return text_at(file, 8, "qt  ") ? "a QuickTime file" : "an MP4 file";
    }
    if (!is_top_level_box(file, 0)) return std::nullopt;
    if (first == file.size() || is_top_level_box(file, first)) return "a QuickTime file";
    return std::nullopt;
}

// The sync byte 0x47 at the start of several consecutive packets (188 bytes; 192 with the 4-byte
// time code of Blu-ray's M2TS in front).
std::optional<std::string> mpeg_ts(Bytes file) {
    for (const auto& [first, stride] : {std::pair<std::size_t, std::size_t>{0, 188}, {4, 192}}) {
        std::size_t packets = 0;
        for (std::size_t p = first; p < file.size() && packets < 5 && file[p] == 0x47; p += stride) ++packets;
        const std::size_t present = file.size() > first ? (file.size() - first + stride - 1) / stride : 0;
        if (packets >= 3 && packets == std::min<std::size_t>(present, 5)) return "an MPEG-TS file";
    }
    return std::nullopt;
}

// The first page of an Ogg stream: capture pattern, version 0, beginning-of-stream flag.
std::optional<std::string> ogg(Bytes file) {
    if (file.size() >= 27 && text_at(file, 0, "OggS") && file[4] == 0 && (file[5] & 0x02) != 0) return "an Ogg file";
    return std::nullopt;
}

}  // namespace

std::optional<std::string> other_container(std::span<const std::uint8_t> file) {
    for (const auto test : {matroska, iso_media, mpeg_ts, ogg}) {
        if (auto name = test(file)) return name;
    }
    return std::nullopt;
}

}  // namespace orvane
