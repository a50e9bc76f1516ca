#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace orvane {

// Where the tracks of one continuous stream meet, as byte positions in the stream (counted from its
// first byte, ascending): the ends of a disc's per-track payloads, or whatever else marks the tracks.
// Each frame of the stream is followed in order; the cursor tells which track its bytes belong to.
struct TrackBoundaries {
    std::vector<std::uint64_t> positions;  // one fewer than the tracks
    std::size_t passed = 0;                // boundaries already crossed
};

// Told after every frame of a run cut into tracks: the track (0-based) being written and how many
// bytes of the stream are behind it, for a progress display.
using TrackProgress = std::function<void(std::size_t track, std::uint64_t position)>;

// The track (0-based) in which a frame starting at byte `frame_start` lies; frames come in order.
// The .dts and .mka outputs give every frame whole to that track.
std::size_t track_of_frame(TrackBoundaries& boundaries, std::uint64_t frame_start);

// Every writer cut into tracks takes one output per track: n boundaries, n + 1 outputs.
void require_one_output_per_track(const TrackBoundaries& boundaries, std::size_t outputs);

// For a frame whose bytes are [frame_start, frame_end) and which decoded to `samples` samples per
// channel: the sample offsets inside it where the boundaries falling in its bytes cut, in order, and
// those boundaries count as crossed. Every carried byte of the span belongs to the frame's time, so a
// boundary at byte b cuts at round((b - frame_start) * samples / (frame_end - frame_start)).
// A boundary lying before the frame (none can, when frames cover the stream) cuts at its start.
std::vector<int> boundary_cuts_in_frame(TrackBoundaries& boundaries, std::uint64_t frame_start,
                                        std::uint64_t frame_end, int samples);

// For outputs that take whole frames: a track too short for any frame to start in it.
[[noreturn]] void throw_track_without_frames(std::size_t track);

}  // namespace orvane
