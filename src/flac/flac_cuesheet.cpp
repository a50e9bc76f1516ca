#include "flac/flac_cuesheet.hpp"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "common/byte_order.hpp"

namespace orvane {
namespace {

constexpr std::size_t kCatalogBytes = 128;
constexpr std::size_t kIsrcBytes = 12;
constexpr std::uint64_t kCdFrame = 588;          // sample frames of 1/75 s at 44.1 kHz
constexpr std::uint64_t kCdLeadIn = 2 * 44100;   // the 2 s a CD's first track is preceded by

void put_text(std::vector<std::uint8_t>& body, const std::string& text, std::size_t size) {
    const std::size_t used = std::min(text.size(), size);
    body.insert(body.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(used));
    body.insert(body.end(), size - used, 0);
}

}  // namespace

std::vector<std::uint8_t> build_flac_cuesheet_body(const TrackList& tracks, std::uint64_t total_samples,
                                                   int sample_rate) {
    // Only a CD's layout may be flagged as a CD: 44.1 kHz and every offset on a CD frame. Any other
    // list (a 48 kHz stream, a boundary cut inside a DTS frame off the frame grid) is written as a
    // non-CD sheet, which readers accept with offsets in samples.
    bool is_cd = sample_rate == 44100 && total_samples % kCdFrame == 0;
    for (const TrackListEntry& track : tracks.tracks) {
        for (const TrackListIndex& index : track.indexes) is_cd = is_cd && index.offset % kCdFrame == 0;
    }
    if (tracks.tracks.size() > 99) throw std::runtime_error("a FLAC CUESHEET holds at most 99 tracks");

    std::vector<std::uint8_t> body;
    put_text(body, tracks.catalog, kCatalogBytes);
    append_be(body, is_cd ? kCdLeadIn : 0, 8);
    body.push_back(is_cd ? 0x80 : 0x00);
    body.insert(body.end(), 258, 0);
    append_be(body, tracks.tracks.size() + 1, 1);
    for (const TrackListEntry& track : tracks.tracks) {
        const std::uint64_t offset = track.indexes.empty() ? 0 : track.indexes.front().offset;
        append_be(body, offset, 8);
        append_be(body, static_cast<std::uint64_t>(track.number), 1);
        put_text(body, track.isrc.size() == kIsrcBytes ? track.isrc : std::string(), kIsrcBytes);
        body.insert(body.end(), 14, 0);  // audio, no pre-emphasis, reserved bits
        append_be(body, track.indexes.size(), 1);
        for (const TrackListIndex& index : track.indexes) {
            append_be(body, index.offset - offset, 8);
            append_be(body, static_cast<std::uint64_t>(index.number), 1);
            body.insert(body.end(), 3, 0);
        }
    }
    // The lead-out: 170 on a CD, 255 otherwise; no index points.
    append_be(body, total_samples, 8);
    body.push_back(is_cd ? 170 : 255);
    body.insert(body.end(), kIsrcBytes + 14 + 1, 0);
    return body;
}

}  // namespace orvane
