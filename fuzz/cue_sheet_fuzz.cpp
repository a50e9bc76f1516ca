// CUE sheet reading of arbitrary bytes: recognition, text conversion and the line reading.

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>

#include "fuzz_common.hpp"
#include "input/cue_sheet.hpp"
#include "common/text_encoding.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orvane;
    const std::span<const std::uint8_t> bytes(data, size);
    (void)looks_like_cue_sheet(bytes);
    CueSheet sheet;
    try {
        sheet = parse_cue_sheet(bytes);
    } catch (const std::runtime_error&) {
        return 0;  // a refusal with a message is the expected way out
    }

    // What the split relies on: tracks in order, each with its start, every index point in a named
    // file and after the one before it; every text UTF-8.
    ORVANE_FUZZ_CHECK(!sheet.tracks.empty() && !sheet.files.empty());
    const CueIndex* previous = nullptr;
    int previous_track = 0;
    for (const CueTrack& track : sheet.tracks) {
        ORVANE_FUZZ_CHECK(track.number > previous_track && track.number <= 99);
        previous_track = track.number;
        ORVANE_FUZZ_CHECK(track_start(track).number == 1);
        for (const CueIndex& index : track.indexes) {
            ORVANE_FUZZ_CHECK(index.file < sheet.files.size());
            ORVANE_FUZZ_CHECK(previous == nullptr || index.file > previous->file ||
                              (index.file == previous->file && index.frame > previous->frame));
            previous = &index;
        }
        for (const auto* text : {&track.title, &track.performer, &track.songwriter, &track.isrc}) {
            ORVANE_FUZZ_CHECK(is_valid_utf8(*text));
        }
    }
    for (const auto* text : {&sheet.title, &sheet.performer, &sheet.songwriter, &sheet.genre, &sheet.date,
                             &sheet.disc_number, &sheet.total_discs, &sheet.catalog}) {
        ORVANE_FUZZ_CHECK(is_valid_utf8(*text));
    }
    for (const auto& name : sheet.files) ORVANE_FUZZ_CHECK(!name.empty() && is_valid_utf8(name));
    return 0;
}
