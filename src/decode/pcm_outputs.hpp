#pragma once

// The outputs of a decode to PCM: one file per track, each written by one thread, from the decoded
// samples in order. With one thread they are written on the decoding thread itself; with more, the
// decoding thread converts the samples into the outputs' form and queues them, and encoder threads of
// their own each take the next track not yet taken and encode and write it whole, so several tracks
// are encoded at once while decoding goes on. Either way every output is written from the same
// samples in the same order, so the files are the same.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "ffmpeg/ffmpeg_log.hpp"
#include "ffmpeg/ffmpeg_handles.hpp"
#include "flac/flac_writer.hpp"
#include "output/output_settings.hpp"
#include "output/staged_output.hpp"
#include "wav/wav_writer.hpp"

namespace orvane {

// What the queue holds at most, in bytes of converted samples, counting the blocks being encoded:
// about half a minute of 5.1 at 44.1 kHz, so that the decoding can finish one track while its encoder is
// still busy and go on with the next for another encoder. Its memory is reused.
inline constexpr std::size_t kPcmQueueBytes = std::size_t{32} << 20;

// Converted samples go over in blocks of about this size, so neither side works per frame.
inline constexpr std::size_t kPcmBlockBytes = std::size_t{256} << 10;

// An encoder thread waits until this much of its track is queued (or the track is complete) and
// takes at most a few times this at once: woken for every block, the threads would spend their time
// handing over.
inline constexpr std::size_t kPcmBatchBytes = std::size_t{1} << 20;

// What every track's output is opened with; set before the encoder threads start, then only read.
struct PcmFormat {
    const std::vector<TrackOutput>* tracks = nullptr;
    OutputSettings settings;
    int sample_rate = 0;
    OwnedChannelLayout layout;
};

// One track's output while it is written.
struct TrackWriter {
    std::optional<WavWriter> wav;
    std::optional<FlacWriter> flac;
};

// Converted samples in the output's form.
struct PcmBlock {
    std::vector<std::int32_t> flac;  // interleaved, FLAC form
    std::vector<std::uint8_t> wav;   // the WAV file's bytes
};

// One track's samples on their way to the encoder thread that takes it.
struct QueuedTrack {
    std::deque<PcmBlock> blocks;
    std::size_t bytes = 0;  // of those blocks
    bool complete = false;  // all its samples are queued
    std::optional<StagedOutput> written;  // its file, closed, waiting for the tracks before to be committed
};

// Between the decoding thread and the encoder threads; every field under `mutex`.
struct PcmQueue {
    std::mutex mutex;
    std::condition_variable filled;   // for the encoder threads
    std::condition_variable emptied;  // for the decoding thread
    std::vector<QueuedTrack> tracks;  // one per output
    std::size_t opened = 0;   // tracks the decoding side has begun
    std::size_t taken = 0;    // tracks an encoder thread has taken
    std::size_t committed = 0;  // tracks under their names, in order
    std::size_t bytes = 0;    // of the samples queued or being encoded
    std::vector<PcmBlock> spare;  // written blocks, their memory kept for new ones
    bool closed = false;      // nothing more comes: the end, or the decoding side failed
    std::exception_ptr failure;   // the failure of the earliest track that failed on an encoder thread
    std::size_t failed_track = 0;
};

struct PcmOutputs {
    PcmFormat format;
    TrackWriter writer;     // the decoding thread's own, when no encoder thread runs
    std::size_t track = 0;  // the track the decoding side writes
    unsigned encoders = 0;  // encoder threads to start
    PcmBlock block;         // the samples being gathered on the decoding thread
    int channels = 0;       // of the samples, for the decoding thread's conversion
    PcmQueue queue;
    std::vector<FfmpegLogLines> encoder_logs;  // what FFmpeg logged on each encoder thread
    std::vector<std::thread> encoder_threads;

    PcmOutputs() = default;
    PcmOutputs(const PcmOutputs&) = delete;
    PcmOutputs& operator=(const PcmOutputs&) = delete;
    // After a failure of the decoding side: the encoder threads finish the tracks whose samples are
    // all queued (so a track finished before the failure is complete) unless interrupted, and end; an
    // unfinished output goes as a failed writer leaves it.
    ~PcmOutputs();
};

// `threads` above 1 starts that many encoder threads (no more than there are tracks) at the first
// track's opening; 1 writes on the decoding thread.
void prepare_pcm_outputs(PcmOutputs& outputs, const std::vector<TrackOutput>& tracks,
                         const OutputSettings& settings, unsigned threads);

// Opens the first track's output for samples of this rate and layout.
void open_pcm_outputs(PcmOutputs& outputs, int sample_rate, const AVChannelLayout& layout);

// Ends the open track's output and opens the next one's.
void next_pcm_track(PcmOutputs& outputs);

void write_pcm(PcmOutputs& outputs, const AVFrame& frame);

// Ends the last track's output and waits for the encoder threads; a failure of theirs is rethrown here.
// A failure of a track's output, on whichever thread, is a TrackOutputFailure naming the track.
void finish_pcm_outputs(PcmOutputs& outputs);

}  // namespace orvane
