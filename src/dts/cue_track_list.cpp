#include "dts/cue_track_list.hpp"

#include <stdexcept>
#include <string>

#include "dts/boundary_samples.hpp"

namespace orvane {

TrackList place_cue_sheet(const CueSheet& sheet, const InputAnalysis& analysis, bool whole_frames) {
    // A file without a header holds CD time only when the sheet calls it raw CD audio.
    const std::string& type = sheet.file_types.empty() ? std::string() : sheet.file_types.front();
    std::uint64_t bytes_per_second = std::uint64_t{analysis.sample_rate} * analysis.channels *
                                     (analysis.bits_per_sample / 8u);
    if (!analysis.is_wav_carrier) {
        if (type != "BINARY" && type != "MOTOROLA") {
            throw std::runtime_error("--cue needs a PCM carrier image (a WAV, FLAC or WavPack file), not a raw DTS stream");
        }
        bytes_per_second = 75 * kCdFrameBytes;
    }
    std::vector<std::uint64_t> positions;
    TrackList list;
    list.catalog = sheet.catalog;
    for (const CueTrack& track : sheet.tracks) {
        if (!track.audio) continue;
        TrackListEntry entry{track.number, track.title, track.isrc, {}};
        for (const CueIndex& index : track.indexes) {
            const std::uint64_t byte = index.frame * bytes_per_second / 75;
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

TagSet cue_disc_tags(const CueSheet& sheet) {
    TagSet tags;
    tags.album = sheet.title;
    tags.album_artist = sheet.performer;
    tags.artist = sheet.performer;
    tags.genre = sheet.genre;
    tags.date = sheet.date;
    tags.disc = sheet.disc_number;
    tags.disc_total = sheet.total_discs;
    return tags;
}

}  // namespace orvane
