#include "support/dts_sample.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <numbers>
#include <stdexcept>
#include <string>

#include "support/carriage.hpp"
#include "support/dts_clip.hpp"
#include "support/wav_file.hpp"

namespace orvane::test {

double music_sample(std::int64_t index, int channel, int sample_rate, int channels) {
    constexpr double two_pi = 2.0 * std::numbers::pi;
    const double t = static_cast<double>(index) / sample_rate;
    const bool lfe = channels == 6 && channel == 3;
    if (lfe) return 0.4 * std::sin(two_pi * 45.0 * t) * (0.6 + 0.4 * std::sin(two_pi * 0.5 * t));

    // An A minor chord whose voices swell in turn, a different balance on every channel.
    static const double chord[] = {220.0, 261.63, 329.63, 440.0};
    double v = 0;
    for (int k = 0; k < 4; ++k) {
        const double swell = 0.5 + 0.5 * std::sin(two_pi * (0.13 + 0.05 * k) * t + channel + k);
        v += 0.12 * swell * std::sin(two_pi * chord[k] * t + 0.9 * channel);
    }
    // A sweep from 150 Hz up to 4.8 kHz and back down every 20 seconds, on a logarithmic scale; the phase
    // is the integral of the frequency, so the sweep has no jumps.
    const double half = 10.0;
    const double k = two_pi * 150.0 * half / std::log(32.0);
    const double tp = std::fmod(t, 2.0 * half);
    const double sweep_phase = tp < half ? k * (std::pow(32.0, tp / half) - 1.0)
                                         : k * 31.0 + k * (32.0 - std::pow(32.0, 2.0 - tp / half));
    v += 0.15 * std::sin(sweep_phase + channel);
    return v;
}

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

void put_u32(std::uint8_t* at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void put_u64(std::uint8_t* at, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

DtsSampleSummary write_dts_sample(const DtsSampleOptions& options, const std::filesystem::path& path) {
    if (!(options.seconds > 0) || options.sample_rate <= 0) throw std::runtime_error("seconds and rate must be positive");
    if (options.packing == DtsPacking::Unknown) throw std::runtime_error("no packing given");
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) throw std::runtime_error("cannot create " + path.string());
    static char buffer[1 << 20];
    std::setvbuf(file.get(), buffer, _IOFBF, sizeof buffer);

    DtsSampleSummary summary;
    auto write = [&](const std::uint8_t* data, std::size_t size) {
        if (size != 0 && std::fwrite(data, 1, size, file.get()) != size) {
            throw std::runtime_error("cannot write " + path.string());
        }
        summary.file_bytes += size;
    };
    auto write_zeros = [&](std::uint64_t count) {
        static const std::uint8_t zeros[4096] = {};
        while (count > 0) {
            const std::size_t n = count < sizeof zeros ? static_cast<std::size_t>(count) : sizeof zeros;
            write(zeros, n);
            count -= n;
        }
    };

    // The header is written with placeholder sizes and patched at the end, once the stream length is known.
    Bytes header;
    if (!options.raw) {
        const auto rate = static_cast<std::uint32_t>(options.sample_rate);
        const WavChunk fmt{"fmt ", fmt_body(1, 2, rate, 16), std::nullopt};
        header = options.rf64 ? build_wav("RF64", {{"ds64", ds64_body(0, 0, 0), std::nullopt}, fmt,
                                                   {"data", {}, 0xFFFFFFFFU}})
                              : build_wav("RIFF", {fmt, {"data", {}, std::nullopt}});
        write(header.data(), header.size());
    }

    write_zeros(options.lead);
    DtsClipSpec spec;
    spec.sample_rate = options.sample_rate;
    spec.channels = options.channels;
    spec.bit_rate = options.bit_rate;
    const double frames = std::ceil(options.seconds * options.sample_rate / 512.0);
    if (frames > 2e9) throw std::runtime_error("too many seconds");
    spec.frames = static_cast<int>(frames);
    Bytes frame;
    encode_dts_stream(
        spec,
        [&](std::int64_t index, int channel) {
            return music_sample(index, channel, options.sample_rate, options.channels);
        },
        [&](const std::uint8_t* data, int size) {
            frame.assign(data, data + size);
            Bytes carried = carry_frame(frame, options.packing);
            if (options.cut > 0 && summary.frames + 1 == spec.frames) {
                carried.resize(std::min<std::size_t>(carried.size(), options.cut));
            }
            write(carried.data(), carried.size());
            summary.stream_bytes += carried.size();
            ++summary.frames;
        });
    write_zeros(options.pad);

    if (!options.raw) {
        std::uint64_t data_bytes = summary.file_bytes - header.size();
        const std::uint64_t fill = (4 - data_bytes % 4) % 4;  // whole 16-bit stereo sample frames
        write_zeros(fill);
        data_bytes += fill;
        const std::uint64_t riff_size = summary.file_bytes - 8;
        if (options.rf64) {
            put_u64(header.data() + 20, riff_size);
            put_u64(header.data() + 28, data_bytes);
            put_u64(header.data() + 36, data_bytes / 4);
        } else {
            if (riff_size > 0xFFFFFFFFULL) throw std::runtime_error("too long for a RIFF file (use --rf64)");
            put_u32(header.data() + 4, static_cast<std::uint32_t>(riff_size));
            put_u32(header.data() + 40, static_cast<std::uint32_t>(data_bytes));
        }
        if (std::fseek(file.get(), 0, SEEK_SET) != 0) throw std::runtime_error("cannot seek in " + path.string());
        if (std::fwrite(header.data(), 1, header.size(), file.get()) != header.size()) {
            throw std::runtime_error("cannot write " + path.string());
        }
    }
    if (std::fflush(file.get()) != 0) throw std::runtime_error("cannot write " + path.string());
    if (std::fclose(file.release()) != 0) throw std::runtime_error("cannot write " + path.string());
    return summary;
}

}  // namespace orvane::test
