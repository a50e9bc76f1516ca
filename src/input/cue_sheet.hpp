#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/tag_set.hpp"

namespace orvane {

// A CD frame (1/75 s) of raw CD audio: 588 samples of 16-bit stereo, 2352 bytes.
inline constexpr std::uint64_t kCdFrameBytes = 2352;

// One index point of a track: its number (0 the pregap's start, 1 the track's start, 2 to 99 within
// it) and where it lies, in CD frames from the start of the sheet's file `file`.
struct CueIndex {
    int number = 1;
    std::size_t file = 0;
    std::uint64_t frame = 0;
};

struct CueTrack {
    int number = 0;                 // as the sheet numbers it, 1 to 99
    bool audio = true;              // false for a data track (MODE1/..., MODE2/...)
    std::vector<CueIndex> indexes;  // ascending by number; INDEX 01 is always there
    std::string title;
    std::string performer;
    std::string songwriter;
    std::string isrc;
    bool pre_emphasis = false;      // FLAGS PRE
};

// A CUE sheet as read: every text UTF-8, file names as the sheet writes them (relative to the sheet's
// folder unless absolute).
struct CueSheet {
    std::vector<std::string> files;       // in sheet order, each once
    std::vector<std::string> file_types;  // each file's type as written: WAVE, BINARY, MOTOROLA ...
    std::vector<CueTrack> tracks;    // in sheet order
    std::string title;
    std::string performer;
    std::string songwriter;
    std::string genre;        // REM GENRE
    std::string date;         // REM DATE
    std::string disc_number;  // REM DISCNUMBER
    std::string total_discs;  // REM TOTALDISCS
    std::string catalog;      // CATALOG (UPC/EAN)
    bool converted_from_windows_1252 = false;  // the text was not UTF-8
    std::string text;  // the whole sheet as read, in UTF-8 without a byte-order mark
};

// True when the bytes are a CUE sheet's text (the content decides, never the file's name).
bool looks_like_cue_sheet(std::span<const std::uint8_t> bytes);

// Reads a sheet: UTF-16 (either byte order) after its byte-order mark, UTF-8 with or without one,
// else Windows-1252 converted to UTF-8. Raises with a message naming what is wrong when the sheet
// cannot be used; a line that is not understood is refused, never passed over.
CueSheet parse_cue_sheet(std::span<const std::uint8_t> bytes);

// True for a file the sheet calls raw CD audio without a header (BINARY, MOTOROLA).
bool is_raw_cd_audio(const std::string& file_type);

// What an image file's CD frames are counted in: its carrier's format, or the sheet's word for it.
struct CdImageFormat {
    bool pcm_carrier = false;
    std::uint32_t sample_rate = 0;
    std::uint16_t channels = 0;
    std::uint16_t bits_per_sample = 0;
    bool raw_cd_audio = false;  // the sheet calls it raw CD audio (is_raw_cd_audio)
};

// Bytes of one CD frame (1/75 s) of an image: from a PCM carrier's format, or 2352 for raw CD audio.
// Raises for a file that is neither (a raw DTS stream has no CD time) and for a sample rate with no
// whole number of samples in a CD frame.
std::uint64_t cd_frame_bytes(const CdImageFormat& image);

// The disc's tags a sheet gives: ALBUM from its TITLE, ALBUMARTIST and ARTIST from its PERFORMER,
// COMPOSER from its SONGWRITER, GENRE, DATE, DISCNUMBER, DISCTOTAL.
TagSet cue_disc_tags(const CueSheet& sheet);

// One track's tags: the disc's, with its own TITLE, ARTIST (its PERFORMER, else the disc's),
// COMPOSER (its SONGWRITER, else the disc's), TRACKNUMBER, and TRACKTOTAL `audio_tracks`.
TagSet cue_track_tags(const CueSheet& sheet, const CueTrack& track, std::size_t audio_tracks);

// The sheet's text for a file of its whole image (a FLAC's CUESHEET comment, which players take the
// tracks' titles from): every FILE line names `file_name`, a WAVE file, and every INDEX lies
// `dropped_frames` CD frames earlier (never before 00:00:00), for a file that leaves out the image's
// start; every other line as the sheet writes it.
std::string cue_sheet_text_for(const CueSheet& sheet, std::string_view file_name, std::uint64_t dropped_frames);

// The track's INDEX 01.
const CueIndex& track_start(const CueTrack& track);

}  // namespace orvane
