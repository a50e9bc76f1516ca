#pragma once

#include <cstdint>
#include <string>

#include "dts/dts_packetiser.hpp"
#include "ffmpeg/ffmpeg_handles.hpp"

namespace orvane {

// What decoding the first frame tells about the stream. Owns its channel layout, released on destruction.
struct DtsStreamParams {
    std::int32_t sample_rate = 0;
    std::int32_t channels = 0;
    OwnedChannelLayout channel_layout;
    std::int32_t samples_per_frame = 0;
    std::string profile;  // the decoder's name for what the frame holds: "DTS", "DTS-ES", "DTS-HD MA" ...
};

// Decodes `first` once with FFmpeg's DTS decoder and fills `params` from the decoded frame.
void probe_dts_stream(const DtsPacket& first, DtsStreamParams& params);

// The analysed stream's first frame as the parser cuts it from the stream's first 64 KiB, copied;
// raises "DTS stream contained no complete frames" when there is none.
DtsPacket first_dts_frame(const InputAnalysis& analysis);

}  // namespace orvane
