#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvane {

// An index point of a track, placed in the output: sample frames from the output's first sample.
struct TrackListIndex {
    int number = 1;  // 0 the pregap's start, 1 the track's start, 2 to 99 within it
    std::uint64_t offset = 0;
};

struct TrackListEntry {
    int number = 0;  // as the sheet numbers it
    std::string title;
    std::string isrc;                     // 12 characters, or empty
    std::vector<TrackListIndex> indexes;  // ascending; always holds index 1
};

// The track list that one output of a whole disc carries (a FLAC CUESHEET, Matroska chapters).
struct TrackList {
    std::string catalog;  // the disc's media catalog number, or empty
    std::vector<TrackListEntry> tracks;
};

// A track's number as messages and file names write it: at least two digits ("01", "12").
inline std::string two_digit_track_label(int number) { return (number < 10 ? "0" : "") + std::to_string(number); }

// Where the track's music begins: its index 1.
inline std::uint64_t track_start_offset(const TrackListEntry& track) {
    for (const TrackListIndex& index : track.indexes) {
        if (index.number == 1) return index.offset;
    }
    return track.indexes.empty() ? 0 : track.indexes.front().offset;
}

}  // namespace orvane
