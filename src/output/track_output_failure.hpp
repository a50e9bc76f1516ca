#pragma once

#include <cstddef>
#include <exception>
#include <stdexcept>
#include <string>

namespace orvane {

// A failure of one track's output (creating, writing, finishing or committing its file), carrying
// the track it concerns: a disc's run names that track, whichever track's input is read by then
// (a track's file is finished once the next track's first frame has been read, or by another thread).
struct TrackOutputFailure : std::runtime_error {
    TrackOutputFailure(std::size_t failed_track, const std::string& message)
        : std::runtime_error(message), track(failed_track) {}
    std::size_t track;
};

// Runs a step of the track's output; its failure, with the same message, becomes the track's.
template <typename Step>
decltype(auto) on_track_output(std::size_t track, Step&& step) {
    try {
        return step();
    } catch (const TrackOutputFailure&) {
        throw;
    } catch (const std::exception& error) {
        throw TrackOutputFailure(track, error.what());
    }
}

}  // namespace orvane
