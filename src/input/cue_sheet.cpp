#include "input/cue_sheet.hpp"

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <utility>

extern "C" {
#include <libcue.h>
}

#include "output/tag_set.hpp"
#include "platform/standard_error_silence.hpp"

namespace orvane {
namespace {

// A sheet of 99 tracks with long texts stays far below this; anything larger is not a sheet.
constexpr std::size_t kMaxSheetBytes = std::size_t{1} << 20;

bool has_bom(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF;
}

// The sheet as UTF-8 without a byte-order mark, its lines ended by "\n" alone, the last one too
// (the parser refuses CR and a last line without its end).
std::string normalised_text(std::span<const std::uint8_t> bytes, bool& converted) {
    if (has_bom(bytes)) bytes = bytes.subspan(3);
    std::string raw(bytes.begin(), bytes.end());
    converted = !is_valid_utf8(raw);
    if (converted) raw = utf8_from_windows_1252(raw);
    std::string text;
    text.reserve(raw.size() + 1);
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r') {
            text += '\n';
            if (i + 1 < raw.size() && raw[i + 1] == '\n') ++i;
        } else {
            text += raw[i];
        }
    }
    if (!text.empty() && text.back() != '\n') text += '\n';
    return text;
}

struct SheetLine {
    std::size_t number = 0;  // 1-based
    std::string_view keyword;
    std::string_view rest;
};

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
    return text;
}

std::vector<SheetLine> lines_of(std::string_view text) {
    std::vector<SheetLine> lines;
    std::size_t number = 0;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = trimmed(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
        ++number;
        if (line.empty()) continue;
        std::size_t split = 0;
        while (split < line.size() && !is_blank(line[split])) ++split;
        lines.push_back({number, line.substr(0, split), trimmed(line.substr(split))});
    }
    return lines;
}

// A quoted value as the parser takes it: up to the closing quote, a backslash keeping the character
// after it (both stay in the value); unquoted, up to the first blank. `rest` is left after it.
std::string_view take_value(std::string_view& rest) {
    rest = trimmed(rest);
    std::string_view value;
    if (!rest.empty() && rest.front() == '"') {
        std::size_t i = 1;
        while (i < rest.size() && rest[i] != '"') i += rest[i] == '\\' ? 2 : 1;
        value = rest.substr(1, std::min(i, rest.size()) - 1);
        rest.remove_prefix(std::min(i + 1, rest.size()));
    } else {
        std::size_t i = 0;
        while (i < rest.size() && !is_blank(rest[i])) ++i;
        value = rest.substr(0, i);
        rest.remove_prefix(i);
    }
    return value;
}

// A REM value: quoted, or the rest of the line as it stands.
std::string rem_value(std::string_view rest) {
    rest = trimmed(rest);
    if (!rest.empty() && rest.front() == '"') return std::string(take_value(rest));
    return std::string(rest);
}

// Every keyword the parser knows at the start of a line; any other line would be dropped by its
// error recovery without a word, so it is refused instead.
bool is_sheet_keyword(std::string_view keyword) {
    static constexpr std::string_view kKeywords[] = {
        "REM",      "CATALOG",   "CDTEXTFILE", "FILE",     "TRACK",     "FLAGS",   "PREGAP",
        "INDEX",    "POSTGAP",   "TITLE",      "PERFORMER", "SONGWRITER", "COMPOSER", "ARRANGER",
        "MESSAGE",  "DISC_ID",   "GENRE",      "TOC_INFO1", "TOC_INFO2", "UPC_EAN", "ISRC",
        "SIZE_INFO"};
    return std::find(std::begin(kKeywords), std::end(kKeywords), keyword) != std::end(kKeywords);
}

bool parse_number(std::string_view digits, std::uint64_t limit, std::uint64_t& value) {
    if (digits.empty() || digits.size() > 9) return false;
    value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value <= limit;
}

// "mm:ss:ff" in CD frames; seconds below 60 and frames below 75, as on a disc.
bool parse_time(std::string_view text, std::uint64_t& frames) {
    const std::size_t first = text.find(':');
    const std::size_t second = first == std::string_view::npos ? first : text.find(':', first + 1);
    if (second == std::string_view::npos) return false;
    std::uint64_t minutes = 0;
    std::uint64_t seconds = 0;
    std::uint64_t frame = 0;
    if (!parse_number(text.substr(0, first), 99999, minutes) ||
        !parse_number(text.substr(first + 1, second - first - 1), 59, seconds) ||
        !parse_number(text.substr(second + 1), 74, frame)) {
        return false;
    }
    frames = (minutes * 60 + seconds) * 75 + frame;
    return true;
}

std::string line_error(const SheetLine& line, const std::string& what) {
    return "CUE sheet line " + std::to_string(line.number) + ": " + what;
}

std::string track_label(int number) { return (number < 10 ? "0" : "") + std::to_string(number); }

// What the library's interface leaves out, read from the lines themselves: which FILE each index
// point lies in (its per-track file name goes wrong once a FILE line sits inside a track), the
// track numbers, CATALOG (no accessor either), and the REM GENRE, DISCNUMBER and TOTALDISCS comments (it keeps only
// REM DATE and ReplayGain). Texts come from the library.
void read_layout(const std::vector<SheetLine>& lines, CueSheet& sheet) {
    bool file_seen = false;
    std::size_t file = 0;
    for (const SheetLine& line : lines) {
        if (!is_sheet_keyword(line.keyword)) {
            throw std::runtime_error(line_error(line, "not understood: " + std::string(line.keyword)));
        }
        std::string_view rest = line.rest;
        if (line.keyword == "FILE") {
            const std::string name(take_value(rest));
            if (name.empty()) throw std::runtime_error(line_error(line, "FILE without a name"));
            const std::string type(take_value(rest));
            const auto known = std::find(sheet.files.begin(), sheet.files.end(), name);
            file = static_cast<std::size_t>(known - sheet.files.begin());
            if (known == sheet.files.end()) {
                sheet.files.push_back(name);
                sheet.file_types.push_back(type);
            }
            file_seen = true;
        } else if (line.keyword == "TRACK") {
            std::uint64_t number = 0;
            if (!parse_number(take_value(rest), 99, number) || number == 0) {
                throw std::runtime_error(line_error(line, "TRACK needs a number from 1 to 99"));
            }
            if (!file_seen) throw std::runtime_error(line_error(line, "TRACK before any FILE"));
            CueTrack track;
            track.number = static_cast<int>(number);
            sheet.tracks.push_back(std::move(track));
        } else if (line.keyword == "INDEX") {
            std::uint64_t number = 0;
            std::uint64_t frame = 0;
            if (sheet.tracks.empty()) throw std::runtime_error(line_error(line, "INDEX before any TRACK"));
            if (!parse_number(take_value(rest), 99, number) || !parse_time(take_value(rest), frame)) {
                throw std::runtime_error(line_error(line, "INDEX needs a number and a time mm:ss:ff"));
            }
            sheet.tracks.back().indexes.push_back({static_cast<int>(number), file, frame});
        } else if (sheet.tracks.empty() && line.keyword == "CATALOG") {
            sheet.catalog = std::string(take_value(rest));
        } else if (sheet.tracks.empty() && line.keyword == "REM") {
            const std::string_view name = take_value(rest);
            if (name == "GENRE") sheet.genre = rem_value(rest);
            if (name == "DISCNUMBER") sheet.disc_number = rem_value(rest);
            if (name == "TOTALDISCS") sheet.total_discs = rem_value(rest);
        }
    }
}

std::string text_or_empty(const char* text) { return text == nullptr ? std::string() : std::string(text); }

struct CdDeleter {
    void operator()(Cd* cd) const { cd_delete(cd); }
};

// The library's reading of the sheet must agree with the line scan on every track and index point;
// where its error recovery skipped a line it does not.
void take_library_reading(const Cd& cd, CueSheet& sheet) {
    if (cd_get_ntrack(&cd) != static_cast<int>(sheet.tracks.size())) {
        throw std::runtime_error("CUE sheet could not be read: a TRACK or INDEX line is malformed");
    }
    const Cdtext* disc = cd_get_cdtext(&cd);
    sheet.title = text_or_empty(cdtext_get(PTI_TITLE, disc));
    sheet.performer = text_or_empty(cdtext_get(PTI_PERFORMER, disc));
    sheet.songwriter = text_or_empty(cdtext_get(PTI_SONGWRITER, disc));
    for (std::size_t k = 0; k < sheet.tracks.size(); ++k) {
        CueTrack& track = sheet.tracks[k];
        const Track* read = cd_get_track(&cd, static_cast<int>(k + 1));
        if (read == nullptr) throw std::runtime_error("CUE sheet could not be read");
        for (const CueIndex& index : track.indexes) {
            if (track_get_index(read, index.number) != static_cast<long>(index.frame)) {
                throw std::runtime_error("CUE sheet could not be read: track " + track_label(track.number) +
                                         " has a malformed INDEX line");
            }
        }
        track.audio = track_get_mode(read) == MODE_AUDIO;
        const Cdtext* texts = track_get_cdtext(read);
        track.title = text_or_empty(cdtext_get(PTI_TITLE, texts));
        track.performer = text_or_empty(cdtext_get(PTI_PERFORMER, texts));
        track.songwriter = text_or_empty(cdtext_get(PTI_SONGWRITER, texts));
        track.isrc = text_or_empty(track_get_isrc(read));
    }
}

// Tracks ascending, each with its INDEX 01, and every index point after the one before it on the
// disc: in a later FILE, or later in the same one.
void check_order(const CueSheet& sheet) {
    if (sheet.tracks.empty()) throw std::runtime_error("CUE sheet lists no tracks");
    const CueIndex* previous = nullptr;
    int previous_track = 0;
    for (const CueTrack& track : sheet.tracks) {
        const std::string label = track_label(track.number);
        if (track.number <= previous_track) {
            throw std::runtime_error("CUE sheet tracks are out of order: track " + label + " follows track " +
                                     track_label(previous_track));
        }
        previous_track = track.number;
        int previous_number = -1;
        for (const CueIndex& index : track.indexes) {
            const bool later = previous == nullptr || index.file > previous->file ||
                               (index.file == previous->file && index.frame > previous->frame);
            if (index.number <= previous_number || !later) {
                throw std::runtime_error("CUE sheet index points are out of order in track " + label);
            }
            previous_number = index.number;
            previous = &index;
        }
        if (std::none_of(track.indexes.begin(), track.indexes.end(), [](const CueIndex& i) { return i.number == 1; })) {
            throw std::runtime_error("CUE sheet track " + label + " has no INDEX 01");
        }
    }
}

}  // namespace

bool looks_like_cue_sheet(std::span<const std::uint8_t> bytes) {
    if (bytes.empty() || bytes.size() > kMaxSheetBytes) return false;
    if (std::find(bytes.begin(), bytes.end(), std::uint8_t{0}) != bytes.end()) return false;
    if (has_bom(bytes)) bytes = bytes.subspan(3);
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    for (const SheetLine& line : lines_of(text.substr(0, std::min<std::size_t>(text.size(), 4096)))) {
        if (line.keyword == "REM") continue;
        return line.keyword == "FILE" || line.keyword == "TITLE" || line.keyword == "PERFORMER" ||
               line.keyword == "CATALOG" || line.keyword == "CDTEXTFILE" || line.keyword == "SONGWRITER";
    }
    return false;
}

CueSheet parse_cue_sheet(std::span<const std::uint8_t> bytes) {
    if (bytes.size() > kMaxSheetBytes) throw std::runtime_error("CUE sheet is too large");
    if (std::find(bytes.begin(), bytes.end(), std::uint8_t{0}) != bytes.end()) {
        throw std::runtime_error("CUE sheet is not text: it holds a NUL byte");
    }
    CueSheet sheet;
    const std::string text = normalised_text(bytes, sheet.converted_from_windows_1252);
    read_layout(lines_of(text), sheet);
    check_order(sheet);

    // The parser keeps its state in globals (one sheet at a time) and prints its complaints itself.
    std::unique_ptr<Cd, CdDeleter> cd;
    with_standard_error_silenced([&] { cd.reset(cue_parse_string(text.c_str())); });
    if (!cd) throw std::runtime_error("CUE sheet could not be read: it is not a valid CUE sheet");
    take_library_reading(*cd, sheet);
    sheet.date = text_or_empty(rem_get(REM_DATE, cd_get_rem(cd.get())));
    return sheet;
}

const CueIndex& track_start(const CueTrack& track) {
    for (const CueIndex& index : track.indexes) {
        if (index.number == 1) return index;
    }
    throw std::runtime_error("CUE sheet track " + track_label(track.number) + " has no INDEX 01");
}

TagSet cue_disc_tags(const CueSheet& sheet) {
    TagSet tags;
    tags.album = sheet.title;
    tags.album_artist = sheet.performer;
    tags.artist = sheet.performer;
    tags.composer = sheet.songwriter;
    tags.genre = sheet.genre;
    tags.date = sheet.date;
    tags.disc = sheet.disc_number;
    tags.disc_total = sheet.total_discs;
    return tags;
}

TagSet cue_track_tags(const CueSheet& sheet, const CueTrack& track, std::size_t audio_tracks) {
    TagSet tags = cue_disc_tags(sheet);
    tags.title = track.title;
    if (!track.performer.empty()) tags.artist = track.performer;
    if (!track.songwriter.empty()) tags.composer = track.songwriter;
    tags.track = std::to_string(track.number);
    tags.track_total = std::to_string(audio_tracks);
    return tags;
}

bool is_raw_cd_audio(const std::string& file_type) { return file_type == "BINARY" || file_type == "MOTOROLA"; }

std::uint64_t cd_frame_bytes(bool pcm_carrier, std::uint32_t sample_rate, std::uint16_t channels,
                             std::uint16_t bits_per_sample, bool raw_cd_audio) {
    if (!pcm_carrier) {
        if (raw_cd_audio) return kCdFrameBytes;
        throw std::runtime_error("CUE sheet positions need a PCM carrier image (a WAV, FLAC or WavPack file), not a "
                                 "raw DTS stream");
    }
    if (sample_rate % 75 != 0) throw std::runtime_error("image sample rate has no whole number of samples per CD frame");
    return std::uint64_t{sample_rate} / 75 * channels * (bits_per_sample / 8u);
}

}  // namespace orvane
