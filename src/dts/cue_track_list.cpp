#include "dts/cue_track_list.hpp"

#include <stdexcept>
#include <string>

#include "dts/boundary_samples.hpp"

namespace orvane {

namespace {

std::uint64_t image_frame_bytes(const CueSheet& sheet, const InputAnalysis& analysis) {
    const std::string& type = sheet.file_types.empty() ? std::string() : sheet.file_types.front();
    return cd_frame_bytes({analysis.has_pcm_carrier, analysis.sample_rate, analysis.channels, analysis.bits_per_sample,
                           is_raw_cd_audio(type)});
}

}  // namespace

std::string embedded_cue_sheet(const CueSheet& sheet, const InputAnalysis& analysis, std::string_view file_name) {
    const std::uint64_t frame_bytes = image_frame_bytes(sheet, analysis);
    return cue_sheet_text_for(sheet, file_name, (analysis.sync_offset + frame_bytes / 2) / frame_bytes);
}

TrackList place_cue_sheet(const CueSheet& sheet, const InputAnalysis& analysis, bool whole_frames) {
    const std::uint64_t frame_bytes = image_frame_bytes(sheet, analysis);
    std::vector<std::uint64_t> positions;
    TrackList list;
    list.catalog = sheet.catalog;
    for (const CueTrack& track : sheet.tracks) {
        if (!track.audio) continue;
        TrackListEntry entry{track.number, track.title, track.isrc, {}};
        for (const CueIndex& index : track.indexes) {
            const std::uint64_t byte = index.frame * frame_bytes;
            const std::string where = "track " + std::to_string(track.number) + " index " + std::to_string(index.number);
            if (byte > analysis.payload.size()) throw std::runtime_error(where + " lies beyond the end of the image");
            // Bytes ahead of the stream's first frame belong to it, as in the output.
            const std::uint64_t position = byte > analysis.sync_offset ? byte - analysis.sync_offset : 0;
            if (!positions.empty() && position < positions.back()) {
                throw std::runtime_error(where + " lies before the index ahead of it");
            }
            positions.push_back(position);
            entry.indexes.push_back({index.number, 0});
        }
        list.tracks.push_back(std::move(entry));
    }
    if (list.tracks.empty()) throw std::runtime_error("the CUE sheet lists no audio track");
    const BoundarySamples placed = boundary_samples(dts_stream(analysis), analysis.packing, positions, whole_frames);
    std::size_t next = 0;
    for (TrackListEntry& entry : list.tracks) {
        for (TrackListIndex& index : entry.indexes) index.offset = placed.samples[next++];
    }
    return list;
}

}  // namespace orvane
