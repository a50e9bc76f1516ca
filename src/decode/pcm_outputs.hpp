#pragma once

// The outputs of a decode to PCM: one track's file open at a time, in track order, written with the
// decoded samples. With one thread they are written on the decoding thread itself; with more, the
// decoding thread converts the samples into the outputs' form and an encoder thread of their own
// encodes and writes them from a bounded queue, so decoding goes on while the outputs are encoded.
// Either way each output is written by one thread only, from the same samples in the same order, so
// the files are the same.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "ffmpeg/ffmpeg_log.hpp"
#include "ffmpeg/ffmpeg_handles.hpp"
#include "flac/flac_writer.hpp"
#include "output/output_settings.hpp"
#include "wav/wav_writer.hpp"

namespace orvane {

// What the queue holds at most, in bytes of converted samples: about 4 s of 5.1 at 48 kHz. The
// encoder thread takes the queue's blocks all at once, so up to twice this is held (the queue, and the
// blocks being encoded), besides the block being filled: about 9 MiB in all, whose memory is reused.
inline constexpr std::size_t kPcmQueueBytes = std::size_t{4} << 20;

// Converted samples go over in blocks of about this size, so neither thread works per frame.
inline constexpr std::size_t kPcmBlockBytes = std::size_t{256} << 10;

// The encoder thread waits until this much is queued (or the queue ends): woken for every block, the
// two threads would spend their time handing over.
inline constexpr std::size_t kPcmBatchBytes = std::size_t{1} << 20;

// The open track's writer, with what every track's output is opened with.
struct TrackWriter {
    const std::vector<TrackOutput>* tracks = nullptr;
    OutputSettings settings;
    int sample_rate = 0;
    OwnedChannelLayout layout;
    std::size_t track = 0;  // the open track, or the first before it is opened
    std::optional<WavWriter> wav;
    std::optional<FlacWriter> flac;
};

enum class PcmStep { OpenTrack, Samples, FinishTrack };

// A step of the writing; Samples carry converted samples in the output's form.
struct PcmItem {
    PcmStep step = PcmStep::Samples;
    std::vector<std::int32_t> flac;  // interleaved, FLAC form
    std::vector<std::uint8_t> wav;   // the WAV file's bytes
};

// Between the decoding thread and the encoder thread; every field under `mutex`.
struct PcmQueue {
    std::mutex mutex;
    std::condition_variable filled;   // for the encoder thread
    std::condition_variable emptied;  // for the decoding thread
    std::deque<PcmItem> items;
    std::size_t bytes = 0;        // of the samples queued
    std::vector<PcmItem> spare;   // written blocks, their memory kept for new ones
    bool closed = false;          // nothing more comes: the end, or the decoding side failed
    std::exception_ptr failure;   // what stopped the encoder thread
    std::size_t failed_track = 0;  // the track it was writing then
};

struct PcmOutputs {
    TrackWriter writer;  // the encoder thread's once it runs
    bool threaded = false;
    PcmItem block;       // the samples being gathered on the decoding thread
    int channels = 0;    // of the samples, for the decoding thread's conversion
    std::vector<std::uint8_t> converted;  // one frame in WAV form, on its way into `block`
    // Told the track the encoder thread was writing when it failed, before its failure is rethrown
    // on the decoding thread.
    std::function<void(std::size_t track)> on_encoder_failure;
    PcmQueue queue;
    FfmpegLogLines encoder_log;  // what FFmpeg logged on the encoder thread, once it ended
    std::thread encoder;

    PcmOutputs() = default;
    PcmOutputs(const PcmOutputs&) = delete;
    PcmOutputs& operator=(const PcmOutputs&) = delete;
    // After a failure of the decoding side: the encoder thread writes what is queued (so a track
    // finished before the failure is complete) unless interrupted, and ends; an unfinished output
    // goes as a failed writer leaves it.
    ~PcmOutputs();
};

// `threads` above 1 starts the encoder thread at the first track's opening.
void prepare_pcm_outputs(PcmOutputs& outputs, const std::vector<TrackOutput>& tracks,
                         const OutputSettings& settings, unsigned threads);

// Opens the first track's output for samples of this rate and layout.
void open_pcm_outputs(PcmOutputs& outputs, int sample_rate, const AVChannelLayout& layout);

// Ends the open track's output and opens the next one's.
void next_pcm_track(PcmOutputs& outputs);

void write_pcm(PcmOutputs& outputs, const AVFrame& frame);

// Ends the last track's output and waits for the encoder thread; its failure is rethrown here.
void finish_pcm_outputs(PcmOutputs& outputs);

}  // namespace orvane
