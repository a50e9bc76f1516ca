#pragma once

// Decoded frames built by hand, for the paths the DTS decoder never takes on its own.

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "ffmpeg/ffmpeg_handles.hpp"

extern "C" {
#include <libavutil/samplefmt.h>
}

namespace orvane::test {

// A frame (planar unless the format is packed) with `channels` planes of `samples` values each, zero-filled.
inline FrameHandle make_frame(AVSampleFormat format, int channels, int samples, int sample_rate = 48000) {
    FrameHandle frame(av_frame_alloc());
    if (!frame) throw std::runtime_error("av_frame_alloc failed");
    frame->format = format;
    frame->nb_samples = samples;
    frame->sample_rate = sample_rate;
    av_channel_layout_default(&frame->ch_layout, channels);
    if (av_frame_get_buffer(frame.get(), 0) < 0) throw std::runtime_error("av_frame_get_buffer failed");
    av_samples_set_silence(frame->extended_data, 0, samples, channels, format);
    return frame;
}

template <typename Sample>
void set_plane(AVFrame& frame, int channel, const std::vector<Sample>& values) {
    auto* plane = reinterpret_cast<Sample*>(frame.extended_data[channel]);
    for (std::size_t i = 0; i < values.size() && i < static_cast<std::size_t>(frame.nb_samples); ++i) plane[i] = values[i];
}

// A frame whose one plane per channel holds the given values.
template <typename Sample>
FrameHandle frame_of(AVSampleFormat format, const std::vector<std::vector<Sample>>& planes, int sample_rate = 48000) {
    FrameHandle frame = make_frame(format, static_cast<int>(planes.size()), static_cast<int>(planes.front().size()),
                                   sample_rate);
    for (std::size_t c = 0; c < planes.size(); ++c) set_plane(*frame, static_cast<int>(c), planes[c]);
    return frame;
}

}  // namespace orvane::test
