#include "dts/dts_stream_summary.hpp"

#include <stdexcept>

#include "dts/dts_frame_walk.hpp"
#include "dts/dts_stream_probe.hpp"

namespace orvane {

std::uint64_t count_dts_frames(std::span<const std::uint8_t> stream, DtsPacking packing) {
    if (packing == DtsPacking::Be16 || packing == DtsPacking::Le16) {
        return walk_dts_frames(stream, packing == DtsPacking::Le16).core_frames;
    }
    std::uint64_t frames = 0;
    std::size_t at = 0;
    while (at < stream.size()) {
        const std::size_t extent = dts_frame_extent(stream.subspan(at), packing);
        if (extent == 0) {
            at += 2;
            continue;
        }
        ++frames;
        at += extent;
    }
    return frames;
}

DtsStreamSummary summarise_dts_stream(const InputAnalysis& analysis) {
    const DtsPacket first = first_dts_frame(analysis);
    DtsStreamParams params;
    probe_dts_stream(first, params);

    DtsStreamSummary summary;
    summary.channels = params.channels;
    char layout[128] = "";
    if (av_channel_layout_describe(&params.channel_layout, layout, sizeof layout) > 0) summary.layout = layout;
    summary.sample_rate = params.sample_rate;
    // Measured rather than the header's rate code, which names the nearest rate of a table: a
    // DTS-CD's 1234.8 kb/s is coded as 1280 kb/s.
    const std::size_t frame_bytes = dts_frame_size(first.data, analysis.packing).stream;
    const std::uint64_t bits = 8 * (frame_bytes != 0 ? frame_bytes : first.data.size());
    summary.bit_rate = static_cast<std::int64_t>((bits * static_cast<std::uint64_t>(params.sample_rate) +
                                                  static_cast<std::uint64_t>(params.samples_per_frame) / 2) /
                                                 static_cast<std::uint64_t>(params.samples_per_frame));
    summary.samples_per_frame = params.samples_per_frame;
    summary.profile = params.profile;
    summary.frames = count_dts_frames(dts_stream(analysis), analysis.packing);
    return summary;
}

std::string format_duration(std::uint64_t samples, std::int32_t sample_rate) {
    if (sample_rate <= 0) return "0:00.000";
    const std::uint64_t rate = static_cast<std::uint64_t>(sample_rate);
    const std::uint64_t milliseconds = (samples / rate) * 1000 + ((samples % rate) * 1000 + rate / 2) / rate;
    const auto digits = [](std::uint64_t value, std::size_t width) {
        std::string text = std::to_string(value);
        return std::string(width > text.size() ? width - text.size() : 0, '0') + text;
    };
    return std::to_string(milliseconds / 60000) + ":" + digits(milliseconds / 1000 % 60, 2) + "." +
           digits(milliseconds % 1000, 3);
}

void print_stream_summary(std::ostream& out, const DtsStreamSummary& summary) {
    out << "Stream: " << (summary.profile.empty() ? "DTS" : summary.profile) << ", ";
    if (!summary.layout.empty()) out << summary.layout << ", ";
    out << summary.channels << (summary.channels == 1 ? " channel, " : " channels, ") << summary.sample_rate
        << " Hz\n";
    out << "Bit rate: " << summary.bit_rate << " b/s\n";
    out << "Frame size: " << summary.samples_per_frame << " samples\n";
    out << "Duration: "
        << format_duration(summary.frames * static_cast<std::uint64_t>(summary.samples_per_frame), summary.sample_rate)
        << " (" << summary.frames << " frames)\n";
}

void print_stream_summary(std::ostream& out, const InputAnalysis& analysis) {
    DtsStreamSummary summary;
    try {
        summary = summarise_dts_stream(analysis);
    } catch (const std::runtime_error& error) {
        out << "Stream: first frame not decodable: " << error.what() << "\n";
        return;
    }
    print_stream_summary(out, summary);
}

}  // namespace orvane
