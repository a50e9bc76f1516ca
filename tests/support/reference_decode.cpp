#include "support/reference_decode.hpp"

#include <cstring>
#include <stdexcept>

#include "ffmpeg/ffmpeg_handles.hpp"

namespace orvane::test {

ReferenceDecode reference_decode(const Bytes& stream) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_DTS);
    if (codec == nullptr) throw std::runtime_error("no DTS decoder");
    ParserHandle parser(av_parser_init(AV_CODEC_ID_DTS));
    CodecContextHandle context(avcodec_alloc_context3(codec));
    if (!parser || !context || avcodec_open2(context.get(), codec, nullptr) < 0) throw std::runtime_error("decoder setup");
    PacketHandle packet(av_packet_alloc());
    FrameHandle frame(av_frame_alloc());

    ReferenceDecode out;
    auto receive = [&]() {
        while (avcodec_receive_frame(context.get(), frame.get()) == 0) {
            ++out.frames;
            out.channels = frame->ch_layout.nb_channels;
            out.sample_rate = frame->sample_rate;
            if (frame->format != AV_SAMPLE_FMT_FLTP) throw std::runtime_error("unexpected sample format");
            for (int i = 0; i < frame->nb_samples; ++i) {
                for (int ch = 0; ch < out.channels; ++ch) {
                    out.samples.push_back(reinterpret_cast<const float*>(frame->extended_data[ch])[i]);
                }
            }
            av_frame_unref(frame.get());
        }
    };
    bool flushing = false;
    auto decode = [&](const std::uint8_t* data, int size) {
        if (av_new_packet(packet.get(), size) < 0) throw std::runtime_error("packet");
        std::memcpy(packet->data, data, static_cast<std::size_t>(size));
        const int sent = avcodec_send_packet(context.get(), packet.get());
        av_packet_unref(packet.get());
        // What the flush releases last may be a frame cut by the end of the data: FFmpeg's command line
        // reports it and goes on, as the conversions drop it.
        if (sent < 0 && !flushing) throw std::runtime_error("decoder refused a frame");
        receive();
    };

    Bytes padded(stream);
    padded.resize(stream.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    const std::uint8_t* data = padded.data();
    int left = static_cast<int>(stream.size());
    for (;;) {
        std::uint8_t* frame_data = nullptr;
        int frame_size = 0;
        const int used = av_parser_parse2(parser.get(), context.get(), &frame_data, &frame_size,
                                          flushing ? nullptr : data, flushing ? 0 : left, AV_NOPTS_VALUE,
                                          AV_NOPTS_VALUE, 0);
        if (used < 0) throw std::runtime_error("parser failed");
        if (!flushing) {
            data += used;
            left -= used;
        }
        if (frame_size > 0) decode(frame_data, frame_size);
        if (flushing && frame_size == 0) break;
        if (left == 0 && frame_size == 0) flushing = true;
    }
    avcodec_send_packet(context.get(), nullptr);
    receive();
    return out;
}

}  // namespace orvane::test
