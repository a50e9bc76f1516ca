#include "support/dts_clip.hpp"

#include <cmath>
#include <cstring>
#include <map>
#include <numbers>
#include <stdexcept>
#include <string>

#include "ffmpeg/ffmpeg_error.hpp"
#include "ffmpeg/ffmpeg_handles.hpp"

extern "C" {
#include <libavutil/samplefmt.h>
}

namespace orvane::test {

Bytes DtsClip::joined() const {
    std::size_t total = 0;
    for (const Bytes& frame : frames) total += frame.size();
    Bytes all;
    all.reserve(total);
    for (const Bytes& frame : frames) all.insert(all.end(), frame.begin(), frame.end());
    return all;
}

namespace {

std::uint64_t layout_mask(int channels) {
    switch (channels) {
        case 1: return AV_CH_LAYOUT_MONO;
        case 2: return AV_CH_LAYOUT_STEREO;
        case 4: return AV_CH_LAYOUT_2_2;      // quad with side speakers
        case 5: return AV_CH_LAYOUT_5POINT0;  // side speakers
        case 6: return AV_CH_LAYOUT_5POINT1;  // side speakers
        default: throw std::runtime_error("DTS clip: unsupported channel count " + std::to_string(channels));
    }
}

[[noreturn]] void fail(const std::string& what, int code) {
    throw std::runtime_error("DTS clip: " + what + ": " + ffmpeg_error_text(code));
}

void check_frame(const AVPacket& packet) {
    static const std::uint8_t sync[] = {0x7F, 0xFE, 0x80, 0x01};
    if (packet.size < 4 || std::memcmp(packet.data, sync, 4) != 0) {
        throw std::runtime_error("DTS clip: encoder produced a frame without a 16-bit big-endian sync word");
    }
}

}  // namespace

void encode_dts_stream(const DtsClipSpec& spec, const SampleFunction& sample, const FrameFunction& on_frame) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_DTS);
    if (codec == nullptr) throw std::runtime_error("DTS clip: FFmpeg has no DTS encoder");
    CodecContextHandle context(avcodec_alloc_context3(codec));
    if (!context) throw std::runtime_error("DTS clip: out of memory");
    context->strict_std_compliance = FF_COMPLIANCE_EXPERIMENTAL;
    context->sample_fmt = AV_SAMPLE_FMT_S32;
    context->sample_rate = spec.sample_rate;
    if (spec.bit_rate > 0) context->bit_rate = spec.bit_rate;
    int rc = av_channel_layout_from_mask(&context->ch_layout, layout_mask(spec.channels));
    if (rc < 0) fail("channel layout", rc);
    rc = avcodec_open2(context.get(), codec, nullptr);
    if (rc < 0) fail("cannot open the DTS encoder", rc);

    const int frame_samples = context->frame_size > 0 ? context->frame_size : 512;
    FrameHandle frame(av_frame_alloc());
    PacketHandle packet(av_packet_alloc());
    if (!frame || !packet) throw std::runtime_error("DTS clip: out of memory");

    int produced = 0;
    auto drain = [&]() {
        for (;;) {
            int r = avcodec_receive_packet(context.get(), packet.get());
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return;
            if (r < 0) fail("encoding failed", r);
            check_frame(*packet);
            if (produced < spec.frames) on_frame(packet->data, packet->size);
            ++produced;
            av_packet_unref(packet.get());
        }
    };

    std::int64_t next_sample = 0;
    // The encoder may hold frames back; feed until enough came out, with a bound in case it never does.
    const int max_inputs = spec.frames + 64;
    for (int input = 0; produced < spec.frames && input < max_inputs; ++input) {
        av_frame_unref(frame.get());
        frame->format = AV_SAMPLE_FMT_S32;
        frame->nb_samples = frame_samples;
        frame->sample_rate = spec.sample_rate;
        rc = av_channel_layout_copy(&frame->ch_layout, &context->ch_layout);
        if (rc < 0) fail("channel layout", rc);
        rc = av_frame_get_buffer(frame.get(), 0);
        if (rc < 0) fail("frame buffer", rc);
        auto* out = reinterpret_cast<std::int32_t*>(frame->data[0]);
        for (int i = 0; i < frame_samples; ++i) {
            for (int ch = 0; ch < spec.channels; ++ch) {
                double v = sample(next_sample + i, ch);
                if (v > 1.0) v = 1.0;
                if (v < -1.0) v = -1.0;
                out[i * spec.channels + ch] = static_cast<std::int32_t>(std::lround(v * 2147483392.0));
            }
        }
        frame->pts = next_sample;
        next_sample += frame_samples;
        rc = avcodec_send_frame(context.get(), frame.get());
        if (rc < 0) fail("encoding failed", rc);
        drain();
    }
    rc = avcodec_send_frame(context.get(), nullptr);
    if (rc < 0 && rc != AVERROR_EOF) fail("encoder flush failed", rc);
    drain();
    if (produced < spec.frames) throw std::runtime_error("DTS clip: the encoder produced too few frames");
}

DtsClip encode_dts_clip(const DtsClipSpec& spec) {
    DtsClip clip;
    clip.sample_rate = spec.sample_rate;
    clip.channels = spec.channels;
    clip.frames.reserve(static_cast<std::size_t>(spec.frames));
    const double step = 2.0 * std::numbers::pi * spec.frequency / spec.sample_rate;
    auto sine = [&](std::int64_t index, int channel) {
        return spec.amplitude * std::sin(step * static_cast<double>(index) + 0.7 * channel);
    };
    encode_dts_stream(spec, sine, [&](const std::uint8_t* data, int size) { clip.frames.emplace_back(data, data + size); });
    return clip;
}

DtsClip encode_dts_cd_clip(int frames) {
    DtsClipSpec spec;
    spec.sample_rate = 44100;
    spec.channels = 6;
    spec.bit_rate = kDtsCdBitRate;
    spec.frames = frames;
    DtsClip clip = encode_dts_clip(spec);
    for (const Bytes& frame : clip.frames) {
        if (frame.size() != kDtsCdFrameBytes) {
            throw std::runtime_error("DTS clip: DTS-CD frame of " + std::to_string(frame.size()) + " bytes");
        }
    }
    return clip;
}

const DtsClip& cached_dts_cd_clip(int frames) {
    static std::map<int, DtsClip> clips;
    auto found = clips.find(frames);
    if (found == clips.end()) found = clips.emplace(frames, encode_dts_cd_clip(frames)).first;
    return found->second;
}

}  // namespace orvane::test
