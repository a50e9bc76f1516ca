#include "input/cue_sheet.hpp"

#include <algorithm>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/tag_set.hpp"
#include "common/text_encoding.hpp"
#include "common/track_list.hpp"

namespace orvane {
namespace {

// A sheet of 99 tracks with long texts stays far below this; anything larger is not a sheet.
constexpr std::size_t kMaxSheetBytes = std::size_t{1} << 20;

bool starts_with(std::span<const std::uint8_t> bytes, std::initializer_list<std::uint8_t> mark) {
    return bytes.size() >= mark.size() && std::equal(mark.begin(), mark.end(), bytes.begin());
}

struct SheetText {
    std::string text;  // UTF-8 without a byte-order mark
    bool converted_from_windows_1252 = false;
    bool well_formed = true;  // false for UTF-16 that breaks off
};

// UTF-16 when a byte-order mark says so (some Windows rippers write it); else UTF-8 with or without
// its mark, or Windows-1252 when the bytes are not UTF-8.
SheetText sheet_text(std::span<const std::uint8_t> bytes) {
    if (starts_with(bytes, {0xFF, 0xFE}) || starts_with(bytes, {0xFE, 0xFF})) {
        const ByteOrder order = bytes[0] == 0xFF ? ByteOrder::LittleEndian : ByteOrder::BigEndian;
        Utf16Text decoded = utf8_from_utf16(bytes.subspan(2), order);
        return {std::move(decoded.utf8), false, decoded.well_formed};
    }
    if (starts_with(bytes, {0xEF, 0xBB, 0xBF})) bytes = bytes.subspan(3);
    std::string text(bytes.begin(), bytes.end());
    if (is_valid_utf8(text)) return {std::move(text), false, true};
    return {utf8_from_windows_1252(text), true, true};
}

struct SheetLine {
    std::size_t number = 0;  // 1-based
    std::string_view keyword;
    std::string_view rest;
};

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
    return text;
}

// The sheet's lines that hold something, numbered as an editor shows them: CR LF, LF and CR alike end
// a line.
std::vector<SheetLine> lines_of(std::string_view text) {
    std::vector<SheetLine> lines;
    std::size_t number = 0;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find_first_of("\r\n"), text.size());
        std::string_view line = trimmed(text.substr(0, end));
        const bool crlf = end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n';
        text.remove_prefix(std::min(end + (crlf ? 2 : 1), text.size()));
        ++number;
        if (line.empty()) continue;
        std::size_t split = 0;
        while (split < line.size() && !is_blank(line[split])) ++split;
        lines.push_back({number, line.substr(0, split), trimmed(line.substr(split))});
    }
    return lines;
}

// Where the quoted value `text` starts with ends: its closing quote, a backslash keeping the
// character after it; npos when the line does not close it.
std::size_t closing_quote(std::string_view text) {
    std::size_t i = 1;
    while (i < text.size() && text[i] != '"') i += text[i] == '\\' ? 2 : 1;
    return i < text.size() ? i : std::string_view::npos;
}

// A value: quoted, up to the closing quote (a backslash and the character it keeps both stay in the
// value) or the line's end; unquoted, up to the first blank. `rest` is left after it.
std::string_view take_value(std::string_view& rest) {
    rest = trimmed(rest);
    if (!rest.empty() && rest.front() == '"') {
        const std::size_t end = std::min(closing_quote(rest), rest.size());
        const std::string_view value = rest.substr(1, end - 1);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        return value;
    }
    std::size_t i = 0;
    while (i < rest.size() && !is_blank(rest[i])) ++i;
    const std::string_view value = rest.substr(0, i);
    rest.remove_prefix(i);
    return value;
}

// False when a value opens a quote that its line does not close: the value would be a guess.
bool quotes_closed(std::string_view rest) {
    for (rest = trimmed(rest); !rest.empty(); rest = trimmed(rest)) {
        if (rest.front() == '"' && closing_quote(rest) == std::string_view::npos) return false;
        take_value(rest);
    }
    return true;
}

// A REM value: quoted, or the rest of the line as it stands.
std::string rem_value(std::string_view rest) {
    rest = trimmed(rest);
    if (!rest.empty() && rest.front() == '"') return std::string(take_value(rest));
    return std::string(rest);
}

// Every keyword a sheet may start a line with; any other line is refused rather than passed over.
bool is_sheet_keyword(std::string_view keyword) {
    static constexpr std::string_view kKeywords[] = {
        "REM",      "CATALOG",   "CDTEXTFILE", "FILE",     "TRACK",     "FLAGS",   "PREGAP",
        "INDEX",    "POSTGAP",   "TITLE",      "PERFORMER", "SONGWRITER", "COMPOSER", "ARRANGER",
        "MESSAGE",  "DISC_ID",   "GENRE",      "TOC_INFO1", "TOC_INFO2", "UPC_EAN", "ISRC",
        "SIZE_INFO"};
    return std::find(std::begin(kKeywords), std::end(kKeywords), keyword) != std::end(kKeywords);
}

bool is_track_mode(std::string_view mode) {
    static constexpr std::string_view kModes[] = {"AUDIO",      "MODE1/2048", "MODE1/2352", "MODE2/2336",
                                                  "MODE2/2048", "MODE2/2342", "MODE2/2332", "MODE2/2352"};
    return std::find(std::begin(kModes), std::end(kModes), mode) != std::end(kModes);
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

// CD frames as "mm:ss:ff".
std::string cd_time(std::uint64_t frames) {
    const auto two = [](std::uint64_t n) { return (n < 10 ? "0" : "") + std::to_string(n); };
    return two(frames / 4500) + ":" + two(frames / 75 % 60) + ":" + two(frames % 75);
}

std::runtime_error line_error(const SheetLine& line, const std::string& what) {
    return std::runtime_error("CUE sheet line " + std::to_string(line.number) + ": " + what);
}

// What reading keeps from line to line. A line that is malformed but still takes its place in the
// layout (a TRACK without a known mode, a value whose quote is not closed ...) is told only after
// the layout holds, so that the reasons naming a line or a track come first.
struct Reading {
    std::size_t file = 0;  // the FILE that later index points lie in
    std::string fault;     // the first such line's reason
};

void note_fault(Reading& reading, const std::string& reason) {
    if (reading.fault.empty()) reading.fault = "CUE sheet could not be read: " + reason;
}

// One entry per name, however often a FILE line repeats it.
void read_file_line(const SheetLine& line, CueSheet& sheet, Reading& reading) {
    std::string_view rest = line.rest;
    const std::string name(take_value(rest));
    if (name.empty()) throw line_error(line, "FILE without a name");
    const std::string type(take_value(rest));
    const auto known = std::find(sheet.files.begin(), sheet.files.end(), name);
    reading.file = static_cast<std::size_t>(known - sheet.files.begin());
    if (known == sheet.files.end()) {
        sheet.files.push_back(name);
        sheet.file_types.push_back(type);
    }
}

void read_track_line(const SheetLine& line, CueSheet& sheet, Reading& reading) {
    std::string_view rest = line.rest;
    std::uint64_t number = 0;
    if (!parse_number(take_value(rest), 99, number) || number == 0) {
        throw line_error(line, "TRACK needs a number from 1 to 99");
    }
    if (sheet.files.empty()) throw line_error(line, "TRACK before any FILE");
    const std::string_view mode = take_value(rest);
    if (!is_track_mode(mode)) note_fault(reading, "it is not a valid CUE sheet");
    if (!trimmed(rest).empty()) note_fault(reading, "a TRACK or INDEX line is malformed");
    CueTrack track;
    track.number = static_cast<int>(number);
    track.audio = mode == "AUDIO";
    sheet.tracks.push_back(std::move(track));
}

void read_index_line(const SheetLine& line, CueSheet& sheet, Reading& reading) {
    if (sheet.tracks.empty()) throw line_error(line, "INDEX before any TRACK");
    std::string_view rest = line.rest;
    std::uint64_t number = 0;
    std::uint64_t frame = 0;
    if (!parse_number(take_value(rest), 99, number) || !parse_time(take_value(rest), frame)) {
        throw line_error(line, "INDEX needs a number and a time mm:ss:ff");
    }
    CueTrack& track = sheet.tracks.back();
    if (!trimmed(rest).empty()) {
        note_fault(reading, "track " + two_digit_track_label(track.number) + " has a malformed INDEX line");
    }
    track.indexes.push_back({static_cast<int>(number), reading.file, frame});
}

// The disc's texts before its first TRACK line, CATALOG and the REM fields among them; a track's
// after its own TRACK line. Other lines (PREGAP, CDTEXTFILE, ARRANGER ...) carry nothing used here.
void read_text_line(const SheetLine& line, CueSheet& sheet) {
    std::string_view rest = line.rest;
    CueTrack* const track = sheet.tracks.empty() ? nullptr : &sheet.tracks.back();
    if (line.keyword == "TITLE") {
        (track ? track->title : sheet.title) = take_value(rest);
    } else if (line.keyword == "PERFORMER") {
        (track ? track->performer : sheet.performer) = take_value(rest);
    } else if (line.keyword == "SONGWRITER") {
        (track ? track->songwriter : sheet.songwriter) = take_value(rest);
    } else if (track && line.keyword == "ISRC") {
        track->isrc = take_value(rest);
    } else if (track && line.keyword == "FLAGS") {
        // Every value is taken, also after PRE: a short-circuit here would never empty the line.
        while (!trimmed(rest).empty()) {
            if (take_value(rest) == "PRE") track->pre_emphasis = true;
        }
    } else if (!track && line.keyword == "CATALOG") {
        sheet.catalog = take_value(rest);
    } else if (!track && line.keyword == "REM") {
        const std::string_view name = take_value(rest);
        if (name == "GENRE") sheet.genre = rem_value(rest);
        if (name == "DATE") sheet.date = rem_value(rest);
        if (name == "DISCNUMBER") sheet.disc_number = rem_value(rest);
        if (name == "TOTALDISCS") sheet.total_discs = rem_value(rest);
    }
}

// Returns the reason a malformed line gives to refuse the sheet, or nothing.
std::string read_lines(const std::vector<SheetLine>& lines, CueSheet& sheet) {
    Reading reading;
    for (const SheetLine& line : lines) {
        if (!is_sheet_keyword(line.keyword)) throw line_error(line, "not understood: " + std::string(line.keyword));
        // A comment's text is free; any other line is read value by value.
        if (line.keyword != "REM" && !quotes_closed(line.rest)) note_fault(reading, "it is not a valid CUE sheet");
        if (line.keyword == "FILE") {
            read_file_line(line, sheet, reading);
        } else if (line.keyword == "TRACK") {
            read_track_line(line, sheet, reading);
        } else if (line.keyword == "INDEX") {
            read_index_line(line, sheet, reading);
        } else {
            read_text_line(line, sheet);
        }
    }
    return reading.fault;
}

// Tracks ascending, each with its INDEX 01, and every index point after the one before it on the
// disc: in a later FILE, or later in the same one.
void check_order(const CueSheet& sheet) {
    if (sheet.tracks.empty()) throw std::runtime_error("CUE sheet lists no tracks");
    const CueIndex* previous = nullptr;
    int previous_track = 0;
    for (const CueTrack& track : sheet.tracks) {
        const std::string label = two_digit_track_label(track.number);
        if (track.number <= previous_track) {
            throw std::runtime_error("CUE sheet tracks are out of order: track " + label + " follows track " +
                                     two_digit_track_label(previous_track));
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
    const std::string text = sheet_text(bytes).text;
    if (text.find('\0') != std::string::npos) return false;
    // Comments decide nothing (a batch file starts with REM too); rippers open a sheet with any
    // other keyword, ARRANGER or DISC_ID as well as FILE.
    for (const SheetLine& line : lines_of(std::string_view(text).substr(0, 4096))) {
        if (line.keyword != "REM") return is_sheet_keyword(line.keyword);
    }
    return false;
}

CueSheet parse_cue_sheet(std::span<const std::uint8_t> bytes) {
    if (bytes.size() > kMaxSheetBytes) throw std::runtime_error("CUE sheet is too large");
    const SheetText text = sheet_text(bytes);
    if (text.text.find('\0') != std::string::npos) throw std::runtime_error("CUE sheet is not text: it holds a NUL byte");
    if (!text.well_formed) throw std::runtime_error("CUE sheet is not text: its UTF-16 is malformed");
    CueSheet sheet;
    sheet.converted_from_windows_1252 = text.converted_from_windows_1252;
    sheet.text = text.text;
    const std::string fault = read_lines(lines_of(text.text), sheet);
    check_order(sheet);
    if (!fault.empty()) throw std::runtime_error(fault);
    return sheet;
}

std::string cue_sheet_text_for(const CueSheet& sheet, std::string_view file_name, std::uint64_t dropped_frames) {
    std::string result;
    for (std::string_view text = sheet.text; !text.empty();) {
        // Line by line, each keeping its indent and its own line end.
        const std::size_t end = std::min(text.find_first_of("\r\n"), text.size());
        const bool crlf = end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n';
        const std::size_t next = std::min(end + (crlf ? 2 : 1), text.size());
        const std::string_view line = text.substr(0, end);
        const std::string_view ending = text.substr(end, next - end);
        text.remove_prefix(next);
        const std::string_view indent = line.substr(0, line.find_first_not_of(" \t"));
        std::string_view rest = trimmed(line);
        const std::string_view keyword = take_value(rest);
        std::uint64_t frame = 0;
        if (keyword == "FILE") {
            result.append(indent).append("FILE \"").append(file_name).append("\" WAVE");
        } else if (keyword == "INDEX" && dropped_frames > 0) {
            const std::string_view number = take_value(rest);
            parse_time(take_value(rest), frame);
            frame -= std::min(frame, dropped_frames);
            result.append(indent).append("INDEX ").append(number).append(" ").append(cd_time(frame));
        } else {
            result.append(line);
        }
        result.append(ending);
    }
    return result;
}

const CueIndex& track_start(const CueTrack& track) {
    for (const CueIndex& index : track.indexes) {
        if (index.number == 1) return index;
    }
    throw std::runtime_error("CUE sheet track " + two_digit_track_label(track.number) + " has no INDEX 01");
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

std::uint64_t cd_frame_bytes(const CdImageFormat& image) {
    if (!image.pcm_carrier) {
        if (image.raw_cd_audio) return kCdFrameBytes;
        throw std::runtime_error("CUE sheet positions need a PCM carrier image (a WAV, FLAC or WavPack file), not a "
                                 "raw DTS stream");
    }
    if (image.sample_rate % 75 != 0) {
        throw std::runtime_error("image sample rate has no whole number of samples per CD frame");
    }
    return std::uint64_t{image.sample_rate} / 75 * image.channels * (image.bits_per_sample / 8u);
}

}  // namespace orvane
