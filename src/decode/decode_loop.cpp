#include "decode/decode_loop.hpp"

#include <cstdint>
#include <cstdio>
#include <ostream>
#include <algorithm>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "decode/pcm_outputs.hpp"
#include "ffmpeg/ffmpeg_error.hpp"
#include "ffmpeg/ffmpeg_handles.hpp"

extern "C" {
#include <libavutil/samplefmt.h>
}

namespace orvane {
namespace {

// The sample format and channel layout of the decoded frames, for the silence that replaces a damaged one.
struct FrameShape {
    int format = -1;
    int sample_rate = 0;
    OwnedChannelLayout layout;
};

struct DecodeRun {
    DecodeRun(const TrackOutputs& outputs, std::ostream& out)
        : report(out), boundaries(outputs.boundaries), on_progress(outputs.on_progress) {}

    std::ostream& report;
    TrackBoundaries boundaries;
    TrackProgress on_progress;  // told after every frame
    DtsPacking packing = DtsPacking::Unknown;
    // The outputs outlive the decoder objects below them, so their files close last.
    PcmOutputs outputs;
    CodecContextHandle decoder;
    PacketHandle packet;
    FrameHandle frame;
    bool output_opened = false;
    std::size_t track = 0;             // the track whose output is open
    std::vector<int> dropped_tails;  // sizes of refused end-of-input packets
    bool conceal_damage = false;
    std::uint64_t input_offset = 0;     // where the stream starts in the input file, for reported positions
    std::uint64_t samples_out = 0;      // samples per channel written, silence included
    std::uint64_t frame_bytes = 0;      // size of the last decoded frame's packet: one frame's worth
    // The damaged stretch being concealed (refused packets in a row): where it starts in the stream,
    // its bytes, and the frames of silence already written for it.
    std::uint64_t damage_start = 0;
    std::uint64_t damaged_bytes = 0;
    std::uint64_t concealed_frames = 0;
    int frame_samples = 0;              // samples per channel of the last decoded frame
    FrameShape shape;
    // Where the packet being decoded lies in the stream, for the track boundaries inside it.
    std::uint64_t position = 0;
    std::uint64_t packet_start = 0;
    std::uint64_t packet_end = 0;
    bool packet_cut_done = true;  // its boundaries are placed (by its first decoded frame)
    // The stretch of the stream being fed, as an FFmpeg buffer, so packets lying in it reach the
    // decoder without a copy.
    std::span<const std::uint8_t> stream;
    BufferRefHandle stream_ref;

    DecodeRun(const DecodeRun&) = delete;
    DecodeRun& operator=(const DecodeRun&) = delete;
};

// Ends the open track's output and opens the next one's.
void next_track(DecodeRun& run) {
    next_pcm_track(run.outputs);
    ++run.track;
}

void open_output(DecodeRun& run, const AVFrame& frame) {
    if (frame.sample_rate <= 0 || frame.ch_layout.nb_channels <= 0) {
        throw std::runtime_error("decoder returned invalid stream parameters");
    }
    char description[128] = {};
    av_channel_layout_describe(&frame.ch_layout, description, sizeof description);
    run.report << "Decoded: " << frame.sample_rate << " Hz, " << frame.ch_layout.nb_channels << " ch";
    if (description[0] != '\0') run.report << " (" << description << ")";
    run.report << ", PCM24 output\n";
    open_pcm_outputs(run.outputs, frame.sample_rate, frame.ch_layout);
    run.output_opened = true;
}

void write_frame(DecodeRun& run, const AVFrame& frame) { write_pcm(run.outputs, frame); }

// Samples [from, from + count) of a planar decoded frame, viewing its buffers; `planes` holds the
// moved channel pointers and must outlive the view.
AVFrame frame_part(const AVFrame& frame, int from, int count, std::vector<std::uint8_t*>& planes) {
    const int channels = frame.ch_layout.nb_channels;
    const int bytes = av_get_bytes_per_sample(static_cast<AVSampleFormat>(frame.format));
    planes.assign(static_cast<std::size_t>(std::max(channels, 0)), nullptr);
    for (int c = 0; c < channels; ++c) {
        planes[static_cast<std::size_t>(c)] = frame.extended_data[c] + static_cast<std::ptrdiff_t>(from) * bytes;
    }
    AVFrame part = frame;
    part.extended_data = planes.data();
    for (int c = 0; c < AV_NUM_DATA_POINTERS; ++c) part.data[c] = c < channels ? planes[static_cast<std::size_t>(c)] : nullptr;
    part.nb_samples = count;
    return part;
}

// Writes a decoded frame to the open track, cut where track boundaries fall inside its packet.
void deliver_frame(DecodeRun& run, const AVFrame& frame) {
    std::vector<int> cuts;
    if (!run.packet_cut_done) {
        cuts = boundary_cuts_in_frame(run.boundaries, run.packet_start, run.packet_end, frame.nb_samples);
        run.packet_cut_done = true;
    }
    if (cuts.empty()) {
        write_frame(run, frame);
        return;
    }
    std::vector<std::uint8_t*> planes;
    int from = 0;
    for (const int cut : cuts) {
        if (cut > from) write_frame(run, frame_part(frame, from, cut - from, planes));
        from = std::max(from, cut);
        next_track(run);
    }
    if (frame.nb_samples > from) write_frame(run, frame_part(frame, from, frame.nb_samples - from, planes));
}

// Silence of `samples` per channel in the decoder's own format, standing for the stream's bytes
// [from, to): cut into tracks like decoded audio, so a boundary inside a damaged stretch still falls
// in place; written in pieces of bounded size.
void write_silence(DecodeRun& run, std::uint64_t samples, std::uint64_t from, std::uint64_t to) {
    constexpr std::uint64_t kPiece = 65536;
    const int piece = static_cast<int>(std::min(samples, kPiece));
    FrameHandle silence(av_frame_alloc());
    if (!silence) throw std::runtime_error("FFmpeg allocation failed");
    silence->format = run.shape.format;
    silence->sample_rate = run.shape.sample_rate;
    silence->nb_samples = std::max(piece, 1);
    if (av_channel_layout_copy(&silence->ch_layout, &run.shape.layout) < 0 ||
        av_frame_get_buffer(silence.get(), 0) < 0) {
        throw std::runtime_error("FFmpeg allocation failed");
    }
    av_samples_set_silence(silence->extended_data, 0, silence->nb_samples, silence->ch_layout.nb_channels,
                           static_cast<AVSampleFormat>(silence->format));
    const std::vector<int> cuts = boundary_cuts_in_frame(run.boundaries, from, to, static_cast<int>(samples));
    std::vector<std::uint8_t*> planes;
    std::uint64_t written = 0;
    for (std::size_t next = 0; written < samples || next < cuts.size();) {
        if (next < cuts.size() && static_cast<std::uint64_t>(cuts[next]) <= written) {
            next_track(run);
            ++next;
            continue;
        }
        const std::uint64_t until = next < cuts.size() ? static_cast<std::uint64_t>(cuts[next]) : samples;
        const int n = static_cast<int>(std::min(until - written, kPiece));
        write_frame(run, frame_part(*silence, 0, n, planes));
        written += static_cast<std::uint64_t>(n);
    }
}

// m:ss.sss of a sample position.
std::string time_of(std::uint64_t samples, int sample_rate) {
    const std::uint64_t ms = sample_rate > 0 ? samples * 1000 / static_cast<std::uint64_t>(sample_rate) : 0;
    char text[32];
    std::snprintf(text, sizeof text, "%llu:%02llu.%03llu", static_cast<unsigned long long>(ms / 60000),
                  static_cast<unsigned long long>(ms / 1000 % 60), static_cast<unsigned long long>(ms % 1000));
    return text;
}

// Silence for the damaged stretch, standing for the stream's bytes [from, to): as many frames as the
// stretch's bytes make at `frame_bytes` a frame, rounded, less those already written for it (a
// stretch may reach the decoder as several packets, when its junk holds something like a sync word).
void conceal(DecodeRun& run, std::uint64_t frame_bytes, int frame_samples, std::uint64_t from, std::uint64_t to) {
    const std::uint64_t frames = std::max<std::uint64_t>(1, (run.damaged_bytes + frame_bytes / 2) / frame_bytes);
    const std::uint64_t samples = (frames - run.concealed_frames) * static_cast<std::uint64_t>(frame_samples);
    run.concealed_frames = frames;
    run.samples_out += samples;
    write_silence(run, samples, from, to);
}

// A packet inside the stream that the decoder refused. Concealed, it becomes silence as long as the
// frames whose bytes it spans (a damaged stretch reaches the parser as one packet, from the damaged
// frame to the next intact sync word); otherwise the run fails after saying where. Before any frame
// was decoded the frames' size is unknown: the first decoded frame's packet tells it.
void refuse_packet(DecodeRun& run, int size, const char* failure, int error) {
    const int rate = run.output_opened ? run.shape.sample_rate : run.decoder->sample_rate;
    const std::uint64_t input_byte = run.input_offset + run.packet_start;
    const std::string where = time_of(run.samples_out, rate) + ", input byte " + std::to_string(input_byte);
    if (!run.conceal_damage) {
        run.report << "Damaged DTS frame at " << where << "\n";
        throw ffmpeg_failure(failure, error);
    }
    run.report << "Damaged DTS frame replaced by silence at " << where << "\n";
    if (run.damaged_bytes == 0) run.damage_start = run.packet_start;
    run.damaged_bytes += static_cast<std::uint64_t>(size);
    if (!run.output_opened) return;
    conceal(run, run.frame_bytes, run.frame_samples, run.packet_start, run.packet_end);
    run.packet_cut_done = true;
}

// Takes every frame the decoder has ready. Returns false when the decoder refused the packet
// behind them as invalid data and `tolerate_invalid` allowed that.
bool drain_decoder(DecodeRun& run, bool tolerate_invalid) {
    AVFrame* frame = run.frame.get();
    for (;;) {
        const int result = avcodec_receive_frame(run.decoder.get(), frame);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return true;
        if (result == AVERROR_INVALIDDATA && tolerate_invalid) return false;
        if (result < 0) throw ffmpeg_failure("DTS decode failed: ", result);
        run.frame_bytes = run.packet_end - run.packet_start;
        run.frame_samples = frame->nb_samples;
        if (!run.output_opened) {
            open_output(run, *frame);
            run.shape.format = frame->format;
            run.shape.sample_rate = frame->sample_rate;
            if (av_channel_layout_copy(&run.shape.layout, &frame->ch_layout) < 0) {
                throw std::runtime_error("FFmpeg allocation failed");
            }
            if (run.damaged_bytes > 0) {
                conceal(run, run.frame_bytes, run.frame_samples, run.damage_start, run.packet_start);
            }
        }
        deliver_frame(run, *frame);
        run.damaged_bytes = 0;  // the damaged stretch, if any, ends here
        run.concealed_frames = 0;
        run.samples_out += static_cast<std::uint64_t>(frame->nb_samples);
        av_frame_unref(frame);
    }
}

// A packet the parser releases at its end-of-input flush and the decoder refuses as invalid data
// is the carrier's cut-off last frame: it is dropped and reported, everything before it is kept.
void decode_packet(DecodeRun& run, const std::uint8_t* data, int size, bool during_flush) {
    run.packet_start = run.position;
    run.position += static_cast<std::uint64_t>(size);
    run.packet_end = run.position;
    run.packet_cut_done = false;
    AVPacket* packet = run.packet.get();
    // The flush returns everything behind the last frame start with it (possibly hours of a carrier's
    // silence): the decoder gets the frame alone, the positions count all of it.
    const std::span<const std::uint8_t> sent =
        during_flush ? without_filler({data, static_cast<std::size_t>(size)}, run.packing)
                     : std::span<const std::uint8_t>(data, static_cast<std::size_t>(size));
    // A packet inside the stream, with the decoder's read-ahead margin still inside it, is sent by
    // reference; any other (parser-assembled, or at the very end) is copied by FFmpeg into a
    // padded buffer of its own.
    const auto at = reinterpret_cast<std::uintptr_t>(data);
    const auto begin = reinterpret_cast<std::uintptr_t>(run.stream.data());
    if (run.stream_ref && at >= begin && at - begin + sent.size() + AV_INPUT_BUFFER_PADDING_SIZE <= run.stream.size()) {
        packet->buf = av_buffer_ref(run.stream_ref.get());
        if (packet->buf == nullptr) throw std::runtime_error("FFmpeg allocation failed");
    }
    packet->data = const_cast<std::uint8_t*>(data);
    packet->size = static_cast<int>(sent.size());
    const int result = avcodec_send_packet(run.decoder.get(), packet);
    av_packet_unref(packet);
    if (result < 0) {
        if (during_flush && result == AVERROR_INVALIDDATA) {
            run.dropped_tails.push_back(size);
        } else if (result == AVERROR_INVALIDDATA) {
            refuse_packet(run, size, "DTS packet rejected: ", result);
        } else {
            throw ffmpeg_failure("DTS packet rejected: ", result);
        }
    } else if (!drain_decoder(run, true)) {
        if (during_flush) {
            run.dropped_tails.push_back(size);
        } else {
            refuse_packet(run, size, "DTS decode failed: ", AVERROR_INVALIDDATA);
        }
    }
    if (run.on_progress) run.on_progress(run.track, run.position);
}

}  // namespace

void decode_to_pcm(const DtsSource& source, const TrackOutputs& tracks, const OutputSettings& settings,
                   std::ostream& report, const DecodeTuning& tuning) {
    require_one_output_per_track(tracks.boundaries, tracks.outputs.size());
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_DTS);
    if (codec == nullptr) throw std::runtime_error("FFmpeg DTS decoder is unavailable");
    ParserHandle parser(av_parser_init(AV_CODEC_ID_DTS));
    if (!parser) throw std::runtime_error("unable to initialise DTS parser");

    DecodeRun run(tracks, report);
    prepare_pcm_outputs(run.outputs, tracks.outputs, settings, tuning.threads);
    run.conceal_damage = tuning.conceal_damage;
    run.input_offset = source.input_offset;
    run.packing = source.packing;
    run.decoder.reset(avcodec_alloc_context3(codec));
    run.packet.reset(av_packet_alloc());
    run.frame.reset(av_frame_alloc());
    if (!run.decoder || !run.packet || !run.frame) throw std::runtime_error("FFmpeg allocation failed");
    run.decoder->request_sample_fmt = AV_SAMPLE_FMT_S32P;
    if (const int result = avcodec_open2(run.decoder.get(), codec, nullptr); result < 0) {
        throw ffmpeg_failure("unable to open DTS decoder: ", result);
    }

    // The carried bytes go to the parser as they lie in the payloads, whatever their packing.
    const StreamSegments referenced{source.segments.count, [&](std::size_t index) {
                                        run.stream_ref.reset();
                                        run.stream = source.segments.load(index);
                                        if (!run.stream.empty()) {
                                            run.stream_ref = borrowed_buffer(run.stream);
                                            if (!run.stream_ref) throw std::runtime_error("FFmpeg allocation failed");
                                        }
                                        return run.stream;
                                    }};
    feed_dts_parser_segments(
        parser.get(), run.decoder.get(), referenced, ParserFeedWording{"DTS parser error", "DTS parser error"},
        [&run](const std::uint8_t* data, int size, int, bool during_flush) {
            decode_packet(run, data, size, during_flush);
        },
        tuning.parser_piece_size);

    avcodec_send_packet(run.decoder.get(), nullptr);  // draining mode; the result tells nothing new
    drain_decoder(run, false);

    for (const int size : run.dropped_tails) report << "Incomplete final DTS frame ignored: " << size << " bytes\n";
    if (!run.output_opened) throw std::runtime_error("DTS stream contained no decodable audio frames");
    // Boundaries behind the last decoded sample leave their tracks empty rather than unwritten.
    while (run.track + 1 < tracks.outputs.size()) next_track(run);
    finish_pcm_outputs(run.outputs);
}

}  // namespace orvane
