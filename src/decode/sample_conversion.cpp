#include "decode/sample_conversion.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/byte_order.hpp"

extern "C" {
#include <libavutil/samplefmt.h>
}

namespace orvane {
namespace {

constexpr std::int32_t kPcm24Min = -8388608;
constexpr std::int32_t kPcm24Max = 8388607;
// 1 - 2^-23: the largest float that still maps below 2^23 once scaled.
constexpr double kFloatMax = 0.99999988079071044921875;

// Scaling a float by a power of two is exact in double precision, so clamping the scaled value
// is the same as clamping the float first. NaN would pass any clamp, so it becomes silence first.
inline double scale_and_clamp(float value, double scale, double high) {
    double x = static_cast<double>(value) * scale;
    if (std::isnan(x)) x = 0.0;
    x = std::min(x, high);
    x = std::max(x, -scale);
    return x;
}

[[noreturn]] void unsupported_format() { throw std::runtime_error("unsupported decoder sample format"); }

template <typename Sample>
const Sample* plane(const AVFrame& frame, int channel) {
    return reinterpret_cast<const Sample*>(frame.extended_data[channel]);
}

// Runs `convert` over every sample in output order, so the output is written front to back;
// `store` receives (slot, value).
template <typename Sample, typename Convert, typename Store>
void interleave(const AVFrame& frame, int channels, Convert convert, Store store) {
    const std::size_t samples = static_cast<std::size_t>(frame.nb_samples);
    std::size_t slot = 0;
    for (std::size_t i = 0; i < samples; ++i) {
        for (int c = 0; c < channels; ++c, ++slot) store(slot, convert(plane<Sample>(frame, c)[i]));
    }
}

// Float planes, four samples of every channel at a time. Scaling by a power of two is exact in
// single precision too, so clamping the scaled float and truncating gives exactly the per-value
// rule; `convert` handles the samples left over.
template <typename Convert, typename Store>
void interleave_float(const AVFrame& frame, int channels, float scale, float high, Convert convert, Store store) {
    const int samples = frame.nb_samples;
    int i = 0;
    std::size_t slot = 0;
#if defined(__SSE2__)
    constexpr int kMaxBlockChannels = 32;
    if (channels <= kMaxBlockChannels) {
        const __m128 scale4 = _mm_set1_ps(scale);
        const __m128 high4 = _mm_set1_ps(high);
        const __m128 low4 = _mm_set1_ps(-scale);
        alignas(16) std::int32_t block[kMaxBlockChannels][4];
        for (; i + 4 <= samples; i += 4) {
            for (int c = 0; c < channels; ++c) {
                __m128 x = _mm_loadu_ps(plane<float>(frame, c) + i);
                x = _mm_and_ps(x, _mm_cmpord_ps(x, x));  // NaN becomes 0
                x = _mm_max_ps(_mm_min_ps(_mm_mul_ps(x, scale4), high4), low4);
                _mm_store_si128(reinterpret_cast<__m128i*>(block[c]), _mm_cvttps_epi32(x));
            }
            for (int k = 0; k < 4; ++k) {
                for (int c = 0; c < channels; ++c, ++slot) store(slot, block[c][k]);
            }
        }
    }
#endif
    for (; i < samples; ++i) {
        for (int c = 0; c < channels; ++c, ++slot) store(slot, convert(plane<float>(frame, c)[i]));
    }
}

// The two forms a decoded sample takes, WAV's 24-bit value and FLAC's 32-bit one: the per-value rules,
// and the scale and largest scaled value of the blockwise float path.
struct SampleForm {
    std::int32_t (*from_s32)(std::int32_t);
    std::int32_t (*from_s16)(std::int16_t);
    std::int32_t (*from_float)(float);
    float scale;
    float high;
};
constexpr SampleForm kPcm24Form{pcm24_from_s32, pcm24_from_s16, pcm24_from_float, 8388608.0f, 8388607.0f};
constexpr SampleForm kFlacForm{flac_from_s32, flac_from_s16, flac_from_float, 2147483648.0f, 2147483392.0f};

// Every sample of a frame in S32P, S16P or FLTP (checked by the caller) in the form, in output order.
template <const SampleForm& Form, typename Store>
void interleave_frame(const AVFrame& frame, int channels, Store store) {
    switch (frame.format) {
        case AV_SAMPLE_FMT_S32P:
            interleave<std::int32_t>(frame, channels, [](std::int32_t v) { return Form.from_s32(v); }, store);
            break;
        case AV_SAMPLE_FMT_S16P:
            interleave<std::int16_t>(frame, channels, [](std::int16_t v) { return Form.from_s16(v); }, store);
            break;
        default:
            interleave_float(frame, channels, Form.scale, Form.high, [](float v) { return Form.from_float(v); },
                             store);
            break;
    }
}

template <const SampleForm& Form>
std::int32_t sample_in_form(const AVFrame& frame, int channel, int index) {
    switch (frame.format) {
        case AV_SAMPLE_FMT_S32P: return Form.from_s32(plane<std::int32_t>(frame, channel)[index]);
        case AV_SAMPLE_FMT_S16P: return Form.from_s16(plane<std::int16_t>(frame, channel)[index]);
        case AV_SAMPLE_FMT_FLTP: return Form.from_float(plane<float>(frame, channel)[index]);
        default: unsupported_format();
    }
}

// Float planes straight to interleaved 24-bit little-endian bytes. Each value goes out as one 4-byte
// store whose top byte the next value overwrites, so `out` needs one byte of room behind the samples.
void float_planes_to_pcm24(const AVFrame& frame, int channels, std::uint8_t* out) {
    const auto put = [&out](std::int32_t value) {
        const auto word = static_cast<std::uint32_t>(value);
        std::memcpy(out, &word, 4);
        out += 3;
    };
    interleave_float(frame, channels, kPcm24Form.scale, kPcm24Form.high, [](float v) { return pcm24_from_float(v); },
                     [&put](std::size_t, std::int32_t v) { put(v); });
}

}  // namespace

std::int32_t pcm24_from_s32(std::int32_t value) {
    const std::int64_t c = value;
    std::int64_t v = c >= 0 ? (c + 128) / 256 : -((-c + 128) / 256);
    if (v > kPcm24Max) v = kPcm24Max;
    if (v < kPcm24Min) v = kPcm24Min;
    return static_cast<std::int32_t>(v);
}

std::int32_t pcm24_from_s16(std::int16_t value) { return static_cast<std::int32_t>(value) * 256; }

std::int32_t pcm24_from_float(float value) {
    return static_cast<std::int32_t>(scale_and_clamp(value, 8388608.0, kFloatMax * 8388608.0));
}

std::int32_t flac_from_s32(std::int32_t value) { return pcm24_from_s32(value) * 256; }

std::int32_t flac_from_s16(std::int16_t value) { return static_cast<std::int32_t>(value) * 65536; }

std::int32_t flac_from_float(float value) {
    return static_cast<std::int32_t>(static_cast<std::int64_t>(scale_and_clamp(value, 2147483648.0, kFloatMax * 2147483648.0)));
}

std::int32_t pcm24_sample(const AVFrame& frame, int channel, int index) {
    return sample_in_form<kPcm24Form>(frame, channel, index);
}

std::int32_t flac_s32_sample(const AVFrame& frame, int channel, int index) {
    return sample_in_form<kFlacForm>(frame, channel, index);
}

namespace {

// A frame whose channel count differs from the first frame's is refused first, then one of another
// format; returns the number of sample values.
std::size_t checked_value_count(const AVFrame& frame, int channels) {
    if (frame.ch_layout.nb_channels != channels) throw std::runtime_error("DTS channel layout changed during stream");
    if (frame.format != AV_SAMPLE_FMT_S32P && frame.format != AV_SAMPLE_FMT_S16P &&
        frame.format != AV_SAMPLE_FMT_FLTP) {
        unsupported_format();
    }
    return static_cast<std::size_t>(std::max(frame.nb_samples, 0)) * static_cast<std::size_t>(channels);
}

}  // namespace

void append_pcm24_bytes(const AVFrame& frame, int channels, std::vector<std::uint8_t>& out) {
    const std::size_t count = checked_value_count(frame, channels);
    const std::size_t base = out.size();
    if (frame.format == AV_SAMPLE_FMT_FLTP) {
        // The float conversion stores four bytes for every three.
        out.resize(base + count * 3 + 1);
        float_planes_to_pcm24(frame, channels, out.data() + base);
        out.resize(base + count * 3);
        return;
    }
    out.resize(base + count * 3);
    std::uint8_t* bytes = out.data() + base;
    interleave_frame<kPcm24Form>(frame, channels, [bytes](std::size_t slot, std::int32_t v) {
        write_le(bytes + slot * 3, static_cast<std::uint32_t>(v), 3);
    });
}

void append_flac_samples(const AVFrame& frame, int channels, std::vector<std::int32_t>& out) {
    const std::size_t count = checked_value_count(frame, channels);
    const std::size_t base = out.size();
    out.resize(base + count);
    std::int32_t* samples = out.data() + base;
    interleave_frame<kFlacForm>(frame, channels, [samples](std::size_t slot, std::int32_t v) { samples[slot] = v; });
}

}  // namespace orvane
