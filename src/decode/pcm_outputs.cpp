#include "decode/pcm_outputs.hpp"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>

#include "decode/sample_conversion.hpp"
#include "output/track_output_failure.hpp"
#include "platform/interruption.hpp"

namespace orvane {
namespace {

// An encoder thread takes at most this much of its track at once, so written blocks come back soon.
constexpr std::size_t kPcmTakeBytes = 4 * kPcmBatchBytes;

void open_track(TrackWriter& writer, const PcmFormat& format, std::size_t track) {
    const TrackOutput& output = (*format.tracks)[track];
    if (format.settings.kind == OutputKind::Flac) {
        writer.flac.emplace();
        open_flac_output(*writer.flac, output.path, format.sample_rate, format.layout, format.settings.overwrite,
                         output.tags, output.track_list);
    } else {
        writer.wav.emplace();
        open_wav_output(*writer.wav, output.path, static_cast<std::uint32_t>(format.sample_rate),
                        format.layout.nb_channels, format.settings.overwrite);
    }
}

void finish_track(TrackWriter& writer) {
    if (writer.flac) {
        finish_flac(*writer.flac);
        writer.flac.reset();
    } else if (writer.wav) {
        finish_wav(*writer.wav);
        writer.wav.reset();
    }
}

void write_block(TrackWriter& writer, const PcmBlock& block) {
    if (writer.flac) {
        buffer_flac_samples(*writer.flac, block.flac);
    } else {
        write_wav_bytes(*writer.wav, block.wav);
    }
}

std::size_t sample_bytes(const PcmBlock& block) {
    return block.flac.size() * sizeof(std::int32_t) + block.wav.size();
}

// The next track for an encoder thread, in order; none once nothing more is to be written: every
// track is taken, the decoding side ended before completing the next, or an earlier track failed.
std::optional<std::size_t> take_track(PcmQueue& queue) {
    std::unique_lock<std::mutex> lock(queue.mutex);
    queue.filled.wait(lock, [&queue] { return queue.taken < queue.opened || queue.closed; });
    if (queue.taken >= queue.opened) return std::nullopt;
    if (queue.failure && queue.taken > queue.failed_track) return std::nullopt;
    if (queue.closed && !queue.tracks[queue.taken].complete) return std::nullopt;
    return queue.taken++;
}

enum class Taken { Blocks, TrackEnd, GiveUp };

// The track's next queued blocks, once enough are queued or the track is complete. A track is given
// up when an earlier one failed, or when the decoding side ended before completing it: its output
// could only be cut short.
Taken take_blocks(PcmQueue& queue, std::size_t track, std::vector<PcmBlock>& blocks) {
    std::unique_lock<std::mutex> lock(queue.mutex);
    QueuedTrack& queued = queue.tracks[track];
    const auto given_up = [&] { return (queue.failure && track > queue.failed_track) || (queue.closed && !queued.complete); };
    queue.filled.wait(lock, [&] { return queued.bytes >= kPcmBatchBytes || queued.complete || given_up(); });
    if (given_up()) return Taken::GiveUp;
    if (queued.blocks.empty()) return Taken::TrackEnd;
    for (std::size_t taken = 0; !queued.blocks.empty() && taken < kPcmTakeBytes;) {
        const std::size_t size = sample_bytes(queued.blocks.front());
        taken += size;
        queued.bytes -= size;
        blocks.push_back(std::move(queued.blocks.front()));
        queued.blocks.pop_front();
    }
    return Taken::Blocks;
}

// Written blocks leave the queue's count, their memory kept for the decoding thread's next ones.
void return_blocks(PcmQueue& queue, std::vector<PcmBlock>& blocks) {
    const std::lock_guard<std::mutex> lock(queue.mutex);
    for (PcmBlock& block : blocks) {
        queue.bytes -= sample_bytes(block);
        if (queue.spare.size() < kPcmQueueBytes / kPcmBlockBytes) queue.spare.push_back(std::move(block));
    }
    blocks.clear();
    queue.emptied.notify_one();
}

// Keeps the failure of the earliest track that failed, and wakes every thread to see it. The
// queue's lock is held.
void note_failure(PcmQueue& queue, std::size_t track) {
    if (!queue.failure || track < queue.failed_track) {
        queue.failure = std::current_exception();
        queue.failed_track = track;
    }
    queue.emptied.notify_one();
    queue.filled.notify_all();
}

void record_failure(PcmQueue& queue, std::size_t track) {
    const std::lock_guard<std::mutex> lock(queue.mutex);
    note_failure(queue, track);
}

// Ends the track's file, leaving its commit (the rename under its name) to the caller.
std::optional<StagedOutput> finish_uncommitted(TrackWriter& writer) {
    std::optional<StagedOutput>& slot = writer.flac ? writer.flac->output : writer.wav->output;
    std::optional<StagedOutput> staged = std::exchange(slot, std::nullopt);
    try {
        finish_track(writer);
    } catch (...) {
        // Closed before the staged file is removed, which Windows refuses for an open file.
        writer.flac.reset();
        writer.wav.reset();
        throw;
    }
    return staged;
}

// Commits the written tracks in track order, so that a track finished early waits for those before
// it, and a failure leaves exactly the tracks before the failed one. The queue's lock is held.
void commit_written(PcmQueue& queue) {
    for (; queue.committed < queue.tracks.size() && queue.tracks[queue.committed].written; ++queue.committed) {
        try {
            on_track_output(queue.committed, [&] { queue.tracks[queue.committed].written->commit(); });
        } catch (...) {
            note_failure(queue, queue.committed);
            return;
        }
        queue.tracks[queue.committed].written.reset();
    }
}

void encode_track(PcmOutputs& outputs, TrackWriter& writer, std::size_t track) {
    open_track(writer, outputs.format, track);
    std::vector<PcmBlock> blocks;
    for (;;) {
        const Taken taken = take_blocks(outputs.queue, track, blocks);
        if (taken == Taken::GiveUp) return;
        if (taken == Taken::TrackEnd) {
            std::optional<StagedOutput> staged = finish_uncommitted(writer);
            const std::lock_guard<std::mutex> lock(outputs.queue.mutex);
            outputs.queue.tracks[track].written.emplace(std::move(staged.value()));
            commit_written(outputs.queue);
            return;
        }
        for (const PcmBlock& block : blocks) {
            check_interruption();
            write_block(writer, block);
        }
        return_blocks(outputs.queue, blocks);
    }
}

// An encoder thread: whole tracks, each the next not taken, until none is left or the run fails.
void encode_tracks(PcmOutputs& outputs, std::size_t index, const std::string& log_source) {
    set_ffmpeg_log_source(log_source);
    TrackWriter writer;
    for (std::optional<std::size_t> track; (track = take_track(outputs.queue));) {
        try {
            on_track_output(*track, [&] { encode_track(outputs, writer, *track); });
        } catch (...) {
            record_failure(outputs.queue, *track);
        }
        // An unfinished output is left by its writer here, on the thread that wrote it.
        writer.flac.reset();
        writer.wav.reset();
    }
    outputs.encoder_logs[index] = take_ffmpeg_log_lines();
}

void queue_block(PcmOutputs& outputs, PcmBlock block) {
    PcmQueue& queue = outputs.queue;
    std::unique_lock<std::mutex> lock(queue.mutex);
    queue.emptied.wait(lock, [&queue] { return queue.failure || queue.bytes < kPcmQueueBytes; });
    // An encoder thread's failure, the failed track's, goes on from here.
    if (queue.failure) std::rethrow_exception(queue.failure);
    const std::size_t size = sample_bytes(block);
    QueuedTrack& queued = queue.tracks[outputs.track];
    queue.bytes += size;
    queued.bytes += size;
    queued.blocks.push_back(std::move(block));
    if (queued.bytes >= kPcmBatchBytes) queue.filled.notify_all();
}

// Queues the samples gathered so far, and starts the next block in a spare one's memory.
void hand_over_block(PcmOutputs& outputs) {
    if (sample_bytes(outputs.block) == 0) return;
    PcmBlock next;
    {
        const std::lock_guard<std::mutex> lock(outputs.queue.mutex);
        if (!outputs.queue.spare.empty()) {
            next = std::move(outputs.queue.spare.back());
            outputs.queue.spare.pop_back();
        }
    }
    next.flac.clear();
    next.wav.clear();
    queue_block(outputs, std::exchange(outputs.block, std::move(next)));
}

void begin_track(PcmOutputs& outputs) {
    if (outputs.encoders == 0) {
        on_track_output(outputs.track, [&] { open_track(outputs.writer, outputs.format, outputs.track); });
        return;
    }
    const std::lock_guard<std::mutex> lock(outputs.queue.mutex);
    outputs.queue.opened = outputs.track + 1;
    outputs.queue.filled.notify_all();
}

void end_track(PcmOutputs& outputs) {
    if (outputs.encoders == 0) {
        on_track_output(outputs.track, [&] { finish_track(outputs.writer); });
        return;
    }
    hand_over_block(outputs);  // the track's last samples
    const std::lock_guard<std::mutex> lock(outputs.queue.mutex);
    outputs.queue.tracks[outputs.track].complete = true;
    outputs.queue.filled.notify_all();
}

// Ends the queue, waits for the encoder threads and takes over what FFmpeg logged there.
void end_encoders(PcmOutputs& outputs) {
    if (outputs.encoder_threads.empty()) return;
    {
        const std::lock_guard<std::mutex> lock(outputs.queue.mutex);
        outputs.queue.closed = true;
        outputs.queue.filled.notify_all();
    }
    for (std::thread& thread : outputs.encoder_threads) thread.join();
    outputs.encoder_threads.clear();
    for (FfmpegLogLines& lines : outputs.encoder_logs) add_ffmpeg_log_lines(std::move(lines));
}

}  // namespace

PcmOutputs::~PcmOutputs() { end_encoders(*this); }

void prepare_pcm_outputs(PcmOutputs& outputs, const std::vector<TrackOutput>& tracks,
                         const OutputSettings& settings, unsigned threads) {
    outputs.format.tracks = &tracks;
    outputs.format.settings = settings;
    outputs.encoders = threads > 1 ? static_cast<unsigned>(std::min<std::size_t>(threads, tracks.size())) : 0;
}

void open_pcm_outputs(PcmOutputs& outputs, int sample_rate, const AVChannelLayout& layout) {
    PcmFormat& format = outputs.format;
    format.sample_rate = sample_rate;
    if (av_channel_layout_copy(&format.layout, &layout) < 0) throw std::runtime_error("FFmpeg allocation failed");
    outputs.channels = layout.nb_channels;
    // Started only now, so the format they write with is set before they run.
    if (outputs.encoders > 0) {
        outputs.queue.tracks.resize(format.tracks->size());
        outputs.encoder_logs.resize(outputs.encoders);
        for (std::size_t k = 0; k < outputs.encoders; ++k) {
            outputs.encoder_threads.emplace_back(encode_tracks, std::ref(outputs), k, ffmpeg_log_source());
        }
    }
    begin_track(outputs);
}

void next_pcm_track(PcmOutputs& outputs) {
    end_track(outputs);
    ++outputs.track;
    begin_track(outputs);
}

void write_pcm(PcmOutputs& outputs, const AVFrame& frame) {
    if (outputs.encoders == 0) {
        on_track_output(outputs.track, [&] {
            if (outputs.writer.flac) {
                buffer_flac_frame(*outputs.writer.flac, frame);
            } else {
                write_wav_frame(*outputs.writer.wav, frame);
            }
        });
        return;
    }
    PcmBlock& block = outputs.block;
    if (outputs.format.settings.kind == OutputKind::Flac) {
        append_flac_samples(frame, outputs.channels, block.flac);
    } else {
        append_pcm24_bytes(frame, outputs.channels, block.wav);
    }
    if (sample_bytes(block) >= kPcmBlockBytes) hand_over_block(outputs);
}

void finish_pcm_outputs(PcmOutputs& outputs) {
    end_track(outputs);
    end_encoders(outputs);
    if (outputs.queue.failure) std::rethrow_exception(outputs.queue.failure);
    if (outputs.encoders > 0 && outputs.queue.committed != outputs.queue.tracks.size()) {
        throw std::runtime_error("internal error: a finished track was not put under its name");
    }
}

}  // namespace orvane
