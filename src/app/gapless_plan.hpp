#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "common/tag_set.hpp"
#include "output/output_settings.hpp"

namespace orvane {

// One gapless run: carrier files read one after another as one DTS stream, cut into tracks.
struct GaplessPlan {
    std::vector<std::filesystem::path> carriers;
    std::vector<std::filesystem::path> other_inputs;  // read too, so never to be replaced
    std::vector<bool> raw_cd_audio;                   // per carrier: the sheet calls it CD audio without a header
    std::vector<std::string> carrier_labels;    // how messages name each carrier
    std::vector<std::string> carrier_headings;  // the line before each carrier's report
    std::string first_carrier;                  // what every later carrier must continue
    // Where each track starts: a carrier and a CD frame in it. Track 1 starts with the stream, so
    // its entry is only checked against the carrier's size.
    std::vector<std::pair<std::size_t, std::uint64_t>> starts;
    bool track_per_carrier = false;  // the operand form: each track is one whole carrier
    std::vector<TrackOutput> tracks;        // each track's output file and tags
    std::vector<std::string> track_labels;  // how messages name each track
    std::vector<std::string> notes;         // printed before the reports unless quiet
};

// The operand form: each operand one track, its output of `kind` beside it.
GaplessPlan plan_from_operands(const std::vector<std::string>& operands, OutputKind kind, const TagSet& tags);

// The sheet form: the sheet's audio tracks cut from its image files at their INDEX 01, outputs beside
// the sheet, named and tagged from its texts; `tags` from the command line replace the sheet's.
GaplessPlan plan_from_sheet(const std::filesystem::path& sheet_path, std::span<const std::uint8_t> bytes,
                            OutputKind kind, const TagSet& tags);

// Album tags for every track; the track number counts on from --track (1 unless given) and the total
// is the last track's number unless given.
std::vector<TagSet> track_tags(const TagSet& album, std::size_t count);

}  // namespace orvane
