#include "decode/decode_loop.hpp"

#include <cstdint>
#include <iostream>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "ffmpeg/ffmpeg_error.hpp"
#include "ffmpeg/ffmpeg_handles.hpp"
#include "decode/flac_writer.hpp"
#include "decode/wav_writer.hpp"

namespace orvane {
namespace {

void no_release(void*, std::uint8_t*) {}

struct BufferRefFreer {
    void operator()(AVBufferRef* ref) const { av_buffer_unref(&ref); }
};

struct DecodeRun {
    DecodeRun(const std::filesystem::path& path, bool flac_output, bool overwrite_output, bool quiet_run,
              const TagSet& tag_set)
        : output_path(path), to_flac(flac_output), overwrite(overwrite_output), quiet(quiet_run), tags(tag_set) {}

    const std::filesystem::path& output_path;
    bool to_flac;
    bool overwrite;
    bool quiet;
    const TagSet& tags;
    // The sinks outlive the decoder objects below them, so their files close last.
    WavWriter wav;
    FlacWriter flac;
    CodecContextHandle decoder;
    PacketHandle packet;
    FrameHandle frame;
    bool output_opened = false;
    std::vector<int> dropped_tails;  // sizes of refused end-of-input packets
    // The stream as an FFmpeg buffer, so packets lying in it reach the decoder without a copy.
    std::span<const std::uint8_t> stream;
    std::unique_ptr<AVBufferRef, BufferRefFreer> stream_ref;
};

void open_output(DecodeRun& run, const AVFrame& frame) {
    if (frame.sample_rate <= 0 || frame.ch_layout.nb_channels <= 0) {
        throw std::runtime_error("decoder returned invalid stream parameters");
    }
    char description[128] = {};
    av_channel_layout_describe(&frame.ch_layout, description, sizeof description);
    if (!run.quiet) {
        std::cout << "Decoded: " << frame.sample_rate << " Hz, " << frame.ch_layout.nb_channels << " ch";
        if (description[0] != '\0') std::cout << " (" << description << ")";
        std::cout << ", PCM24 output\n";
    }
    if (run.to_flac) {
        open_flac_output(run.flac, run.output_path, frame.sample_rate, frame.ch_layout, run.overwrite, run.tags);
    } else {
        open_wav_output(run.wav, run.output_path, static_cast<std::uint32_t>(frame.sample_rate),
                        frame.ch_layout.nb_channels, run.overwrite);
    }
    run.output_opened = true;
}

// Takes every frame the decoder has ready. Returns false when the decoder refused the packet
// behind them as invalid data and `tolerate_invalid` allowed that.
bool drain_decoder(DecodeRun& run, bool tolerate_invalid) {
    AVFrame* frame = run.frame.get();
    for (;;) {
        const int result = avcodec_receive_frame(run.decoder.get(), frame);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return true;
        if (result == AVERROR_INVALIDDATA && tolerate_invalid) return false;
        if (result < 0) throw std::runtime_error("DTS decode failed: " + ffmpeg_error_text(result));
        if (!run.output_opened) open_output(run, *frame);
        if (run.to_flac) {
            buffer_flac_frame(run.flac, *frame);
        } else {
            write_wav_frame(run.wav, *frame);
        }
        av_frame_unref(frame);
    }
}

// A packet the parser releases at its end-of-input flush and the decoder refuses as invalid data
// is the carrier's cut-off last frame: it is dropped and reported, everything before it is kept.
void decode_packet(DecodeRun& run, const std::uint8_t* data, int size, bool during_flush) {
    AVPacket* packet = run.packet.get();
    // A packet inside the stream, with the decoder's read-ahead margin still inside it, is sent by
    // reference; any other (parser-assembled, or at the very end) is copied by FFmpeg into a
    // padded buffer of its own.
    const auto at = reinterpret_cast<std::uintptr_t>(data);
    const auto begin = reinterpret_cast<std::uintptr_t>(run.stream.data());
    if (run.stream_ref && at >= begin && at - begin + static_cast<std::size_t>(size) + AV_INPUT_BUFFER_PADDING_SIZE <=
                                             run.stream.size()) {
        packet->buf = av_buffer_ref(run.stream_ref.get());
        if (packet->buf == nullptr) throw std::runtime_error("FFmpeg allocation failed");
    }
    packet->data = const_cast<std::uint8_t*>(data);
    packet->size = size;
    const int result = avcodec_send_packet(run.decoder.get(), packet);
    av_packet_unref(packet);
    if (result < 0) {
        if (during_flush && result == AVERROR_INVALIDDATA) {
            run.dropped_tails.push_back(size);
            return;
        }
        throw std::runtime_error("DTS packet rejected: " + ffmpeg_error_text(result));
    }
    if (!drain_decoder(run, during_flush)) run.dropped_tails.push_back(size);
}

}  // namespace

void decode_to_pcm_file(const InputAnalysis& analysis, const std::filesystem::path& output_path, bool to_flac,
                        bool overwrite, bool quiet, const TagSet& tags) {
    decode_to_pcm_file(analysis, output_path, to_flac, overwrite, quiet, tags, DecodeTuning{});
}

void decode_to_pcm_file(const InputAnalysis& analysis, const std::filesystem::path& output_path, bool to_flac,
                        bool overwrite, bool quiet, const TagSet& tags, const DecodeTuning& tuning) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_DTS);
    if (codec == nullptr) throw std::runtime_error("FFmpeg DTS decoder is unavailable");
    ParserHandle parser(av_parser_init(AV_CODEC_ID_DTS));
    if (!parser) throw std::runtime_error("unable to initialise DTS parser");

    DecodeRun run(output_path, to_flac, overwrite, quiet, tags);
    run.decoder.reset(avcodec_alloc_context3(codec));
    run.packet.reset(av_packet_alloc());
    run.frame.reset(av_frame_alloc());
    if (!run.decoder || !run.packet || !run.frame) throw std::runtime_error("FFmpeg allocation failed");
    run.decoder->request_sample_fmt = AV_SAMPLE_FMT_S32P;
    if (const int result = avcodec_open2(run.decoder.get(), codec, nullptr); result < 0) {
        throw std::runtime_error("unable to open DTS decoder: " + ffmpeg_error_text(result));
    }

    // The carried bytes go to the parser as they lie in the payload, whatever their packing.
    run.stream = dts_stream(analysis);
    if (!run.stream.empty()) {
        run.stream_ref.reset(av_buffer_create(const_cast<std::uint8_t*>(run.stream.data()), run.stream.size(),
                                              no_release, nullptr, AV_BUFFER_FLAG_READONLY));
        if (!run.stream_ref) throw std::runtime_error("FFmpeg allocation failed");
    }
    feed_dts_parser(
        parser.get(), run.decoder.get(), run.stream, ParserFeedWording{"DTS parser error", "DTS parser error"},
        [&run](const std::uint8_t* data, int size, bool during_flush) { decode_packet(run, data, size, during_flush); },
        tuning.parser_piece_size);

    avcodec_send_packet(run.decoder.get(), nullptr);  // draining mode; the result tells nothing new
    drain_decoder(run, false);

    if (!quiet) {
        for (const int size : run.dropped_tails) {
            std::cout << "Incomplete final DTS frame ignored: " << size << " bytes\n";
        }
    }
    if (!run.output_opened) throw std::runtime_error("DTS stream contained no decodable audio frames");
    if (to_flac) {
        finish_flac(run.flac);
    } else {
        finish_wav(run.wav);
    }
}

}  // namespace orvane
