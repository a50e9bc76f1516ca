#pragma once

// The .flac sink: FFmpeg's FLAC encoder makes the frames; this writer makes the file around them
// ("fLaC", STREAMINFO from the encoder, a CUESHEET when given a track list, a PICTURE if given,
// VORBIS_COMMENT, the packets) and writes the total sample count back into STREAMINFO (and the
// CUESHEET's lead-out) at the end.

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "ffmpeg/ffmpeg_handles.hpp"
#include "output/staged_output.hpp"
#include "common/tag_set.hpp"
#include "common/track_list.hpp"

namespace orvane {

// Used when the encoder does not say how many samples per channel each of its frames takes.
inline constexpr int kDefaultFlacFrameSize = 4608;

// Output stream buffer: encoder packets are gathered into large writes.
inline constexpr std::size_t kFlacWriteBufferSize = std::size_t{1} << 18;

struct FlacWriter {
    CodecContextHandle encoder;
    PacketHandle packet;
    std::optional<StagedOutput> output;     // where `file` is written, committed by finish_flac
    std::unique_ptr<char[]> stream_buffer;  // outlives `file`, which uses it
    std::FILE* file = nullptr;
    std::vector<std::int32_t> pcm;  // interleaved FLAC-form samples, below one encoder frame between calls
    int channels = 0;
    std::array<std::uint8_t, 34> streaminfo{};
    std::uint64_t total_samples = 0;  // samples per channel sent to the encoder
    bool failed = false;              // encoding or a write failed: STREAMINFO is left alone
    long streaminfo_offset = -1;
    TrackList track_list;     // written as a CUESHEET block unless it has no tracks
    int sample_rate = 0;
    long cuesheet_offset = -1;  // where that block's body lies

    FlacWriter() = default;
    FlacWriter(const FlacWriter&) = delete;
    FlacWriter& operator=(const FlacWriter&) = delete;
    // An unfinished writer (a failed or interrupted run) writes the count of the samples in the file
    // into STREAMINFO, ignoring errors, and closes; the samples not yet encoded are dropped. A staged
    // file is then removed.
    ~FlacWriter();
};

void open_flac_output(FlacWriter& writer, const std::filesystem::path& output_path, int sample_rate,
                      const AVChannelLayout& channel_layout, bool overwrite, const TagSet& tags,
                      const TrackList& track_list = TrackList{});

// Converts the frame into `pcm` and sends every whole encoder frame it holds.
void buffer_flac_frame(FlacWriter& writer, const AVFrame& frame);

// The same for samples already in FLAC form, interleaved.
void buffer_flac_samples(FlacWriter& writer, std::span<const std::int32_t> samples);

// Sends n interleaved sample frames to the encoder and writes the packets that come out.
void submit_flac_frame(FlacWriter& writer, const std::int32_t* samples, int n);

void write_flac_packets(FlacWriter& writer);

// Sends the buffered tail, drains the encoder, writes the total sample count, closes the file and
// commits it under the output's name.
void finish_flac(FlacWriter& writer);

// The frame size the encoder asks for, or the default when it names none.
int encoder_frame_size(const FlacWriter& writer);

}  // namespace orvane
