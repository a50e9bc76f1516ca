#include "app/gapless_plan.hpp"

#include <cstdint>
#include <stdexcept>

#include "app/command_line.hpp"
#include "common/track_list.hpp"
#include "input/cue_sheet.hpp"
#include "input/sheet_file_lookup.hpp"
#include "output/track_file_name.hpp"
#include "platform/utf8_path.hpp"

namespace orvane {
namespace {

std::string track_name(std::size_t index, std::size_t count, const std::string& path) {
    return "track " + std::to_string(index + 1) + " of " + std::to_string(count) + " (" + path + ")";
}

// The sheet's texts as one track's tags; command-line tags replace them on every track, --track
// numbering the tracks from its value as in the operand form.
TagSet sheet_tags(const CueSheet& sheet, const CueTrack& track, std::size_t audio_tracks, const TagSet& overrides,
                  const TagSet& numbered) {
    const TagSet tags = cue_track_tags(sheet, track, audio_tracks);
    TagSet replacing = overrides;
    if (!overrides.track.empty()) {
        replacing.track = numbered.track;
        replacing.track_total = numbered.track_total;
    }
    return merge_tags(tags, replacing);
}

// The image files holding an audio track's index points become the carriers, in sheet order, each
// read whole. Returns each file's carrier, SIZE_MAX for a file no audio track uses.
std::vector<std::size_t> add_image_files(GaplessPlan& plan, const CueSheet& sheet, const std::filesystem::path& folder,
                                         const std::vector<const CueTrack*>& audio) {
    std::vector<std::size_t> carrier_of(sheet.files.size(), SIZE_MAX);
    for (const CueTrack* track : audio) {
        for (const CueIndex& index : track->indexes) carrier_of[index.file] = 0;
    }
    for (std::size_t f = 0; f < sheet.files.size(); ++f) {
        if (carrier_of[f] == SIZE_MAX) continue;
        carrier_of[f] = plan.carriers.size();
        const SheetFile located = locate_sheet_file(folder, sheet.files[f]);
        if (!located.found) throw std::runtime_error(image_not_found_message(located));
        if (!located.note.empty()) plan.notes.push_back(located.note);
        const std::filesystem::path& image = located.path;
        plan.carriers.push_back(image);
        plan.raw_cd_audio.push_back(is_raw_cd_audio(sheet.file_types[f]));
        plan.carrier_labels.push_back("image file " + utf8_from_path(image));
        plan.carrier_headings.push_back("Image file: " + utf8_from_path(image));
    }
    plan.first_carrier = plan.carrier_labels[0];
    return carrier_of;
}

}  // namespace

std::vector<TagSet> track_tags(const TagSet& album, std::size_t count) {
    std::uint64_t first = 1;
    if (!album.track.empty()) {
        if (album.track.find_first_not_of("0123456789") != std::string::npos || album.track.size() > 9) {
            throw std::runtime_error("--track with --gapless takes the first track's number: " + album.track);
        }
        first = std::stoull(album.track);
    }
    std::vector<TagSet> tags(count, album);
    for (std::size_t k = 0; k < count; ++k) {
        tags[k].track = std::to_string(first + k);
        if (album.track_total.empty()) tags[k].track_total = std::to_string(first + count - 1);
    }
    return tags;
}

GaplessPlan plan_from_operands(const std::vector<std::string>& operands, OutputKind kind, const TagSet& tags) {
    const std::size_t count = operands.size();
    GaplessPlan plan;
    plan.track_per_carrier = true;
    plan.first_carrier = "track 1";
    const std::vector<TagSet> numbered = track_tags(tags, count);
    for (std::size_t k = 0; k < count; ++k) {
        const std::filesystem::path input = path_from_utf8(operands[k]);
        std::filesystem::path output = input;
        output.replace_extension("." + output_kind_name(kind));
        plan.carriers.push_back(input);
        plan.carrier_labels.push_back(track_name(k, count, operands[k]));
        plan.carrier_headings.push_back("Track " + std::to_string(k + 1) + ": " + operands[k]);
        plan.starts.emplace_back(k, 0);
        plan.tracks.push_back({std::move(output), numbered[k], {}});
        plan.track_labels.push_back(track_name(k, count, operands[k]));
    }
    return plan;
}

GaplessPlan plan_from_sheet(const std::filesystem::path& sheet_path, std::span<const std::uint8_t> bytes,
                            OutputKind kind, const TagSet& tags) {
    const CueSheet sheet = parse_cue_sheet(bytes);
    const std::filesystem::path folder = sheet_path.parent_path();
    GaplessPlan plan;
    if (sheet.converted_from_windows_1252) {
        plan.notes.push_back("CUE sheet is not UTF-8: its text was read as Windows-1252");
    }
    std::vector<const CueTrack*> audio;
    for (const CueTrack& track : sheet.tracks) {
        if (track.audio) {
            audio.push_back(&track);
        } else {
            plan.notes.push_back("Data track " + two_digit_track_label(track.number) + " skipped");
        }
    }
    if (audio.empty()) throw std::runtime_error("CUE sheet lists no audio tracks");
    const std::vector<std::size_t> carrier_of = add_image_files(plan, sheet, folder, audio);

    const CueIndex& first = track_start(*audio[0]);
    if (first.frame > 0 || carrier_of[first.file] > 0) {
        plan.notes.push_back("Audio before track " + two_digit_track_label(audio[0]->number) +
                             "'s INDEX 01 (a hidden pregap) is kept at the start of track " +
                             two_digit_track_label(audio[0]->number));
    }
    std::vector<NamedTrack> named;
    for (const CueTrack* track : audio) named.push_back({track->number, track->title});
    const std::vector<std::string> names = track_file_names(named, "." + output_kind_name(kind));
    const std::vector<TagSet> numbered = track_tags(tags, audio.size());
    for (std::size_t k = 0; k < audio.size(); ++k) {
        const CueIndex& start = track_start(*audio[k]);
        plan.starts.emplace_back(carrier_of[start.file], start.frame);
        plan.tracks.push_back({folder / path_from_utf8(names[k]),
                               sheet_tags(sheet, *audio[k], audio.size(), tags, numbered[k]), {}});
        plan.track_labels.push_back("track " + two_digit_track_label(audio[k]->number) + " (" + names[k] + ")");
    }
    // The sheet is an input too: no output may replace it.
    plan.other_inputs.push_back(sheet_path);
    return plan;
}

}  // namespace orvane
