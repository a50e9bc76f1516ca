#include "dts/dts_stream_probe.hpp"

#include <algorithm>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>

#include "ffmpeg/ffmpeg_error.hpp"
#include "ffmpeg/ffmpeg_handles.hpp"

namespace orvane {

void probe_dts_stream(const DtsPacket& first, DtsStreamParams& params) {
    const AVCodec* decoder = avcodec_find_decoder(AV_CODEC_ID_DTS);
    if (decoder == nullptr) throw std::runtime_error("FFmpeg DTS decoder is unavailable");

    CodecContextHandle context(avcodec_alloc_context3(decoder));
    PacketHandle packet(av_packet_alloc());
    FrameHandle frame(av_frame_alloc());
    if (!context || !packet || !frame) throw std::runtime_error("FFmpeg allocation failed while probing DTS stream");

    // No option set: the decoder's own defaults decide sample format and layout.
    int result = avcodec_open2(context.get(), decoder, nullptr);
    if (result < 0) throw ffmpeg_failure("unable to open DTS decoder for Matroska probe: ", result);

    result = av_new_packet(packet.get(), static_cast<int>(first.data.size()));
    if (result < 0) throw ffmpeg_failure("unable to allocate DTS probe packet: ", result);
    std::copy(first.data.begin(), first.data.end(), packet->data);

    result = avcodec_send_packet(context.get(), packet.get());
    if (result < 0) throw ffmpeg_failure("DTS probe packet rejected: ", result);
    // One request only: the decoder is not drained, so "try again" is a failure too.
    result = avcodec_receive_frame(context.get(), frame.get());
    if (result < 0) throw ffmpeg_failure("unable to decode first DTS frame for stream parameters: ", result);

    if (frame->sample_rate <= 0 || frame->ch_layout.nb_channels <= 0 || frame->nb_samples <= 0) {
        throw std::runtime_error("DTS probe returned invalid stream parameters");
    }
    params.sample_rate = frame->sample_rate;
    params.channels = frame->ch_layout.nb_channels;
    params.samples_per_frame = frame->nb_samples;
    if (const char* profile = avcodec_profile_name(AV_CODEC_ID_DTS, context->profile)) params.profile = profile;
    if (av_channel_layout_copy(&params.channel_layout, &frame->ch_layout) < 0) {
        throw std::runtime_error("unable to copy DTS channel layout");
    }
}

DtsPacket first_dts_frame(const InputAnalysis& analysis) {
    // Enough of the stream's start for the parser to deliver its first frame whole.
    constexpr std::size_t kProbeBytes = std::size_t{1} << 16;
    static constexpr DtsParserWording kWording{"unable to initialise DTS parser", "DTS parser error",
                                               "DTS parser error"};
    const std::span<const std::uint8_t> stream = dts_stream(analysis);
    const std::span<const std::uint8_t> head = stream.first(std::min(stream.size(), kProbeBytes));
    std::optional<DtsPacket> first;
    run_dts_parser_segments(StreamSegments{1, [head](std::size_t) { return head; }}, analysis.packing, kWording,
                            [&](std::span<const std::uint8_t> frame, int duration, std::uint64_t) {
                                if (!first) first = make_dts_packet(frame, duration, {});
                            });
    if (!first) throw std::runtime_error("DTS stream contained no complete frames");
    return std::move(*first);
}

}  // namespace orvane
