#include "app/gapless_run.hpp"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>


#include "app/detection_report.hpp"
#include "decode/decode_loop.hpp"
#include "dts/raw_dts_writer.hpp"
#include "dts/track_boundaries.hpp"
#include "input/input_analysis.hpp"
#include "matroska/dts_packetiser.hpp"
#include "matroska/dts_stream_probe.hpp"
#include "matroska/matroska_writer.hpp"
#include "output/output_policy.hpp"
#include "platform/interruption.hpp"
#include "platform/terminal.hpp"

namespace orvane {
namespace {

// Enough of the stream's start for the parser to deliver its first frame whole.
constexpr std::size_t kProbeBytes = std::size_t{1} << 16;

// What every track of one disc must share to be one stream.
struct TrackTraits {
    bool is_wav_carrier = false;
    std::uint32_t carrier_rate = 0;
    std::uint16_t carrier_bits = 0;
    std::uint16_t carrier_channels = 0;
    DtsPacking packing = DtsPacking::Unknown;
    int sample_rate = 0;
    int channels = 0;
    int samples_per_frame = 0;
    std::uint64_t payload_size = 0;
    std::uint64_t sync_offset = 0;
};

TrackTraits traits_of(const InputAnalysis& analysis) {
    TrackTraits traits;
    traits.is_wav_carrier = analysis.is_wav_carrier;
    traits.carrier_rate = analysis.sample_rate;
    traits.carrier_bits = analysis.bits_per_sample;
    traits.carrier_channels = analysis.channels;
    traits.packing = analysis.packing;
    traits.payload_size = analysis.payload.size();
    traits.sync_offset = analysis.sync_offset;
    // The first frame's decode tells the stream's parameters.
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
    DtsStreamParams params;
    probe_dts_stream(*first, params);
    traits.sample_rate = params.sample_rate;
    traits.channels = params.channels;
    traits.samples_per_frame = params.samples_per_frame;
    return traits;
}

// The first thing in which `track` does not continue `first`, or "" when it does.
std::string first_difference(const TrackTraits& first, const TrackTraits& track) {
    if (first.is_wav_carrier != track.is_wav_carrier || first.carrier_rate != track.carrier_rate ||
        first.carrier_bits != track.carrier_bits || first.carrier_channels != track.carrier_channels) {
        return "carrier format";
    }
    if (first.packing != track.packing) return "DTS packing";
    if (first.sample_rate != track.sample_rate || first.channels != track.channels ||
        first.samples_per_frame != track.samples_per_frame) {
        return "DTS stream parameters";
    }
    return "";
}

std::string track_name(std::size_t index, std::size_t count, const std::string& path) {
    return "track " + std::to_string(index + 1) + " of " + std::to_string(count) + " (" + path + ")";
}

// Album tags for every track; the track number counts on from --track (1 unless given) and the total
// is the last track's number unless given.
std::vector<TagSet> track_tags(const TagSet& album, std::size_t count) {
    std::uint64_t first = 1;
    if (!album.track.empty()) {
        if (album.track.find_first_not_of("0123456789") != std::string::npos || album.track.size() > 9) {
            throw std::runtime_error("--track with --gapless takes the first track's number: " + album.track);
        }
        first = std::stoull(album.track);
    }
    std::vector<TagSet> tags(count, album);
    for (std::size_t k = 0; k < count; ++k) {
        tags[k].track = std::to_string(first + k);
        if (album.track_total.empty()) tags[k].track_total = std::to_string(first + count - 1);
    }
    return tags;
}

// "Track k of n, p% of the disc", redrawn in place on a terminal's standard error.
struct ProgressLine {
    bool shown = false;
    std::size_t count = 0;
    std::uint64_t total = 0;
    std::size_t last_track = SIZE_MAX;
    int last_percent = -1;

    void draw(std::size_t track, std::uint64_t position) {
        if (!shown) return;
        // Gone before the closing lines on standard output, which share the terminal.
        if (position >= total) {
            clear();
            return;
        }
        const int percent = total == 0 ? 100 : static_cast<int>(position * 100 / total);
        if (track == last_track && percent == last_percent) return;
        last_track = track;
        last_percent = percent;
        std::cerr << "\rTrack " << track + 1 << " of " << count << ", " << percent << "% of the disc" << std::flush;
    }
    void clear() {
        if (shown && last_percent >= 0) std::cerr << "\r\033[K" << std::flush;
        last_percent = -1;
    }
    ~ProgressLine() { clear(); }
};

}  // namespace

int convert_gapless(const RunOptions& options, std::ostream& out) {
    const std::vector<std::string>& inputs = options.operands;
    const std::size_t count = inputs.size();
    const std::string& format = options.gapless;
    if ((format == "wav" || format == "dts") && !is_empty(options.tags)) {
        throw std::runtime_error("tagging is supported for FLAC or Matroska output only");
    }
    const std::vector<TagSet> tags = track_tags(options.tags, count);

    // Outputs first: a name clash or an existing output stops the run before any input is read.
    std::vector<std::filesystem::path> outputs;
    std::set<std::filesystem::path> seen;
    for (std::size_t k = 0; k < count; ++k) {
        const std::filesystem::path input(inputs[k]);
        std::filesystem::path output = input;
        output.replace_extension("." + format);
        try {
            if (output == input) throw std::runtime_error("output file must not be the input file");
            ensure_output_is_not_input(input, output);
            if (!seen.insert(std::filesystem::weakly_canonical(output)).second) {
                throw std::runtime_error("another track has the same output file");
            }
            apply_overwrite_rule(output, options.overwrite);
        } catch (const std::exception& error) {
            throw std::runtime_error(track_name(k, count, inputs[k]) + ": " + error.what());
        }
        outputs.push_back(std::move(output));
    }

    // Analysed last to first, one payload held at a time, so the first track's stays for the
    // conversion; the reports still come in track order.
    std::vector<TrackTraits> traits(count);
    std::vector<std::string> reports(count);
    std::optional<InputAnalysis> held;
    for (std::size_t k = count; k-- > 0;) {
        try {
            held.reset();
            held.emplace(analyse_input(std::filesystem::path(inputs[k])));
            traits[k] = traits_of(*held);
            check_interruption();
        } catch (const std::exception& error) {
            throw std::runtime_error(track_name(k, count, inputs[k]) + ": " + error.what());
        }
        std::ostringstream report;
        print_detection_report(report, *held);
        reports[k] = report.str();
    }
    for (std::size_t k = 1; k < count; ++k) {
        const std::string difference = first_difference(traits[0], traits[k]);
        if (!difference.empty()) {
            throw std::runtime_error(track_name(k, count, inputs[k]) + " does not continue track 1: its " +
                                     difference + " differs");
        }
    }
    if (!options.quiet) {
        for (std::size_t k = 0; k < count; ++k) out << "Track " << k + 1 << ": " << inputs[k] << "\n" << reports[k];
    }

    // The joined stream runs from the first track's sync word through every later payload whole;
    // each track ends where its payload does.
    TrackBoundaries boundaries;
    std::uint64_t end = 0;
    for (std::size_t k = 0; k + 1 < count; ++k) {
        end += traits[k].payload_size - (k == 0 ? traits[0].sync_offset : 0);
        boundaries.positions.push_back(end);
    }
    std::uint64_t total = end + traits[count - 1].payload_size - (count == 1 ? traits[0].sync_offset : 0);

    std::size_t loaded = 0;
    std::size_t writing = 0;
    const StreamSegments segments{count, [&](std::size_t k) -> std::span<const std::uint8_t> {
                                      loaded = k;
                                      if (k > 0) {
                                          held.reset();  // never two payloads at once
                                          held.emplace(analyse_input(std::filesystem::path(inputs[k])));
                                          if (held->payload.size() != traits[k].payload_size) {
                                              throw std::runtime_error("input changed during the conversion");
                                          }
                                          return std::span<const std::uint8_t>(held->payload);
                                      }
                                      return dts_stream(*held);
                                  }};
    ProgressLine progress;
    progress.shown = !options.quiet && standard_error_is_terminal();
    progress.count = count;
    progress.total = total;
    const TrackProgress on_progress = [&](std::size_t track, std::uint64_t position) {
        writing = track;
        progress.draw(track, position);
    };

    try {
        if (format == "dts") {
            if (!options.quiet) out << "Operation: lossless DTS bitstream extraction, " << count << " tracks\n";
            const RawDtsTracksSummary summary = write_raw_dts_tracks(
                segments, outputs, boundaries, traits[0].packing, traits[0].is_wav_carrier, options.overwrite,
                on_progress);
            progress.clear();
            if (!options.quiet) {
                out << "DTS frames: " << summary.frames << "\n";
                if (summary.dropped_bytes > 0) out << "Carrier padding removed: " << summary.dropped_bytes << " bytes\n";
            }
        } else if (format == "mka") {
            if (!options.quiet) out << "Operation: lossless DTS -> Matroska mux, " << count << " tracks\n";
            std::vector<MatroskaTrackOutput> tracks;
            for (std::size_t k = 0; k < count; ++k) tracks.push_back({outputs[k], tags[k]});
            mux_matroska_tracks(segments, traits[0].packing, tracks, boundaries, options.overwrite, true, on_progress);
        } else {
            const bool to_flac = format == "flac";
            if (!options.quiet) {
                out << (to_flac ? "Operation: DTS decode -> multichannel FLAC, "
                                : "Operation: DTS decode -> multichannel PCM WAV, ")
                    << count << " tracks\n";
            }
            std::vector<PcmTrackOutput> tracks;
            for (std::size_t k = 0; k < count; ++k) tracks.push_back({outputs[k], to_flac ? tags[k] : TagSet{}, {}});
            decode_to_pcm_tracks(segments, tracks, boundaries, to_flac, options.overwrite, options.quiet,
                                 DecodeTuning{.conceal_damage = options.conceal_damage}, on_progress);
        }
        progress.clear();
        // An interruption that came after the last frame still ends the run as interrupted.
        check_interruption();
        for (const auto& output : outputs) verify_output(output);
    } catch (const std::exception& error) {
        progress.clear();
        const std::size_t track = std::max(loaded, writing);
        throw std::runtime_error(track_name(track, count, inputs[track]) + ": " + error.what());
    }
    if (!options.quiet) {
        for (std::size_t k = 0; k < count; ++k) out << "Track " << k + 1 << " written: " << outputs[k].string() << "\n";
        out << "\nConversion complete.\n";
    }
    return 0;
}

}  // namespace orvane
