#include "decode/pcm_outputs.hpp"

#include <stdexcept>
#include <string>
#include <utility>

#include "decode/sample_conversion.hpp"
#include "platform/interruption.hpp"

namespace orvane {
namespace {

void open_track(TrackWriter& writer) {
    const TrackOutput& output = (*writer.tracks)[writer.track];
    if (writer.settings.kind == OutputKind::Flac) {
        writer.flac.emplace();
        open_flac_output(*writer.flac, output.path, writer.sample_rate, writer.layout, writer.settings.overwrite,
                         output.tags, output.track_list);
    } else {
        writer.wav.emplace();
        open_wav_output(*writer.wav, output.path, static_cast<std::uint32_t>(writer.sample_rate),
                        writer.layout.nb_channels, writer.settings.overwrite);
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

void apply(TrackWriter& writer, const PcmItem& item) {
    switch (item.step) {
        case PcmStep::OpenTrack: open_track(writer); break;
        case PcmStep::Samples:
            if (writer.flac) {
                buffer_flac_samples(*writer.flac, item.flac);
            } else {
                write_wav_bytes(*writer.wav, item.wav);
            }
            break;
        case PcmStep::FinishTrack:
            finish_track(writer);
            ++writer.track;
            break;
    }
}

std::size_t sample_bytes(const PcmItem& item) { return item.flac.size() * sizeof(std::int32_t) + item.wav.size(); }

// The blocks queued, once there are enough or the queue is closed; none once it is closed and empty.
std::deque<PcmItem> take_items(PcmQueue& queue) {
    std::unique_lock<std::mutex> lock(queue.mutex);
    queue.filled.wait(lock, [&queue] { return queue.bytes >= kPcmBatchBytes || queue.closed; });
    std::deque<PcmItem> items = std::exchange(queue.items, {});
    queue.bytes = 0;
    queue.emptied.notify_one();
    return items;
}

// Keeps the written blocks' memory for the decoding thread's next ones.
void return_blocks(PcmQueue& queue, std::deque<PcmItem>& items) {
    const std::lock_guard<std::mutex> lock(queue.mutex);
    for (PcmItem& item : items) {
        if (item.step == PcmStep::Samples && queue.spare.size() < 64) queue.spare.push_back(std::move(item));
    }
}

// The encoder thread: the items in order, until the queue ends, a step fails or the run is interrupted.
void encode_items(PcmOutputs& outputs, const std::string& log_source) {
    set_ffmpeg_log_source(log_source);
    PcmQueue& queue = outputs.queue;
    try {
        for (std::deque<PcmItem> items; !(items = take_items(queue)).empty();) {
            for (const PcmItem& item : items) {
                check_interruption();
                apply(outputs.writer, item);
            }
            return_blocks(queue, items);
        }
    } catch (...) {
        const std::lock_guard<std::mutex> lock(queue.mutex);
        queue.failure = std::current_exception();
        queue.failed_track = outputs.writer.track;
        queue.emptied.notify_one();
    }
    // An unfinished output is left by its writer here, on the thread that wrote it.
    outputs.writer.flac.reset();
    outputs.writer.wav.reset();
    outputs.encoder_log = take_ffmpeg_log_lines();
}

// Rethrows the encoder thread's failure on the decoding thread.
[[noreturn]] void rethrow_encoder_failure(PcmOutputs& outputs, std::exception_ptr failure, std::size_t track) {
    if (outputs.on_encoder_failure) outputs.on_encoder_failure(track);
    std::rethrow_exception(failure);
}

void hand_over(PcmOutputs& outputs, PcmItem item) {
    if (!outputs.threaded) {
        apply(outputs.writer, item);
        return;
    }
    PcmQueue& queue = outputs.queue;
    std::unique_lock<std::mutex> lock(queue.mutex);
    queue.emptied.wait(lock, [&queue] { return queue.failure || queue.bytes < kPcmQueueBytes; });
    if (queue.failure) {
        const std::exception_ptr failure = queue.failure;
        const std::size_t track = queue.failed_track;
        lock.unlock();
        rethrow_encoder_failure(outputs, failure, track);
    }
    queue.bytes += sample_bytes(item);
    queue.items.push_back(std::move(item));
    if (queue.bytes >= kPcmBatchBytes) queue.filled.notify_one();
}

// Hands over the samples gathered so far, and starts the next block in a spare one's memory.
void hand_over_block(PcmOutputs& outputs) {
    if (sample_bytes(outputs.block) == 0) return;
    PcmItem next;
    {
        const std::lock_guard<std::mutex> lock(outputs.queue.mutex);
        if (!outputs.queue.spare.empty()) {
            next = std::move(outputs.queue.spare.back());
            outputs.queue.spare.pop_back();
        }
    }
    next.flac.clear();
    next.wav.clear();
    hand_over(outputs, std::exchange(outputs.block, std::move(next)));
}

// Ends the queue, waits for the encoder thread and takes over what FFmpeg logged there.
void end_encoder(PcmOutputs& outputs) {
    if (!outputs.encoder.joinable()) return;
    {
        const std::lock_guard<std::mutex> lock(outputs.queue.mutex);
        outputs.queue.closed = true;
        outputs.queue.filled.notify_one();
    }
    outputs.encoder.join();
    add_ffmpeg_log_lines(std::move(outputs.encoder_log));
}

void hand_over_step(PcmOutputs& outputs, PcmStep step) {
    if (outputs.threaded) hand_over_block(outputs);
    hand_over(outputs, PcmItem{step, {}, {}});
}

}  // namespace

PcmOutputs::~PcmOutputs() { end_encoder(*this); }

void prepare_pcm_outputs(PcmOutputs& outputs, const std::vector<TrackOutput>& tracks,
                         const OutputSettings& settings, unsigned threads) {
    outputs.writer.tracks = &tracks;
    outputs.writer.settings = settings;
    outputs.threaded = threads > 1;
}

void open_pcm_outputs(PcmOutputs& outputs, int sample_rate, const AVChannelLayout& layout) {
    TrackWriter& writer = outputs.writer;
    writer.sample_rate = sample_rate;
    if (av_channel_layout_copy(&writer.layout, &layout) < 0) throw std::runtime_error("FFmpeg allocation failed");
    outputs.channels = layout.nb_channels;
    // Started only now, so the format it writes with is set before it runs.
    if (outputs.threaded) outputs.encoder = std::thread(encode_items, std::ref(outputs), ffmpeg_log_source());
    hand_over_step(outputs, PcmStep::OpenTrack);
}

void next_pcm_track(PcmOutputs& outputs) {
    hand_over_step(outputs, PcmStep::FinishTrack);
    hand_over_step(outputs, PcmStep::OpenTrack);
}

void write_pcm(PcmOutputs& outputs, const AVFrame& frame) {
    if (!outputs.threaded) {
        if (outputs.writer.flac) {
            buffer_flac_frame(*outputs.writer.flac, frame);
        } else {
            write_wav_frame(*outputs.writer.wav, frame);
        }
        return;
    }
    PcmItem& block = outputs.block;
    if (outputs.writer.settings.kind == OutputKind::Flac) {
        append_flac_samples(frame, outputs.channels, block.flac);
    } else {
        // The WAV conversion writes its buffer from the start: it goes behind the block's bytes.
        frame_to_pcm24_bytes(frame, outputs.channels, outputs.converted);
        block.wav.insert(block.wav.end(), outputs.converted.begin(), outputs.converted.end());
    }
    if (sample_bytes(block) >= kPcmBlockBytes) hand_over_block(outputs);
}

void finish_pcm_outputs(PcmOutputs& outputs) {
    hand_over_step(outputs, PcmStep::FinishTrack);
    end_encoder(outputs);
    if (outputs.queue.failure) rethrow_encoder_failure(outputs, outputs.queue.failure, outputs.queue.failed_track);
}

}  // namespace orvane
