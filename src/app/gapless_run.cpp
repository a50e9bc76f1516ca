#include "app/gapless_run.hpp"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <optional>
#include <set>
#include <span>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/detection_report.hpp"
#include "app/gapless_plan.hpp"
#include "app/operation.hpp"
#include "app/progress_line.hpp"
#include "app/track_joins.hpp"
#include "app/track_placement.hpp"
#include "dts/dts_stream_probe.hpp"
#include "ffmpeg/ffmpeg_log.hpp"
#include "input/cue_sheet.hpp"
#include "input/input_analysis.hpp"
#include "output/track_output_failure.hpp"
#include "output/output_policy.hpp"
#include "platform/file_bytes.hpp"
#include "platform/interruption.hpp"
#include "platform/terminal.hpp"
#include "platform/utf8_path.hpp"

namespace orvane {
namespace {

CarrierTraits traits_of(const InputAnalysis& analysis) {
    // The first frame's decode tells the stream's parameters.
    DtsStreamParams params;
    probe_dts_stream(first_dts_frame(analysis), params);
    return CarrierTraits{analysis.has_pcm_carrier, analysis.sample_rate,   analysis.bits_per_sample,
                         analysis.channels,        analysis.packing,       params.sample_rate,
                         params.channels,          params.samples_per_frame, analysis.payload.size(),
                         analysis.sync_offset};
}

// The first thing in which `carrier` does not continue `first`, or "" when it does.
std::string first_difference(const CarrierTraits& first, const CarrierTraits& carrier) {
    if (first.has_pcm_carrier != carrier.has_pcm_carrier || first.carrier_rate != carrier.carrier_rate ||
        first.carrier_bits != carrier.carrier_bits || first.carrier_channels != carrier.carrier_channels) {
        return "carrier format";
    }
    if (first.packing != carrier.packing) return "DTS packing";
    if (first.sample_rate != carrier.sample_rate || first.channels != carrier.channels ||
        first.samples_per_frame != carrier.samples_per_frame) {
        return "DTS stream parameters";
    }
    return "";
}

// Outputs first: a name clash or an existing output stops the run before any input is read.
void check_outputs(const GaplessPlan& plan, bool overwrite) {
    std::set<std::filesystem::path> seen;
    for (std::size_t k = 0; k < plan.tracks.size(); ++k) {
        const std::filesystem::path& output = plan.tracks[k].path;
        try {
            for (const auto* inputs : {&plan.carriers, &plan.other_inputs}) {
                for (const auto& input : *inputs) {
                    if (output == input) throw std::runtime_error("output file must not be the input file");
                    ensure_output_is_not_input(input, output);
                }
            }
            if (!seen.insert(std::filesystem::weakly_canonical(output)).second) {
                throw std::runtime_error("another track has the same output file");
            }
            apply_overwrite_rule(output, overwrite);
        } catch (const std::exception& error) {
            throw std::runtime_error(plan.track_labels[k] + ": " + error.what());
        }
    }
}

// The disc's carriers, one payload held at a time: the first one's from the analysis on, every later
// one loaded when the stream reaches it. It knows which one it loads, so a failure there is named by it.
struct DiscStream {
    const GaplessPlan& plan;
    std::vector<CarrierTraits> traits;
    std::vector<std::string> reports;  // each carrier's detection report
    std::vector<TagSet> tags;          // each carrier's own tags and cover
    std::vector<CarrierEdges> edges;   // how each carrier meets the next
    std::optional<InputAnalysis> held;
    std::size_t loaded = 0;
    bool loading = false;

    // Analysed last to first, so the first carrier's payload stays for the conversion; every later
    // carrier must continue the first.
    explicit DiscStream(const GaplessPlan& gapless)
        : plan(gapless), traits(plan.carriers.size()), reports(plan.carriers.size()), tags(plan.carriers.size()),
          edges(plan.carriers.size()) {
        for (std::size_t k = traits.size(); k-- > 0;) {
            try {
                held.reset();
                set_ffmpeg_log_source(utf8_from_path(plan.carriers[k]));
                held.emplace(analyse_input(plan.carriers[k]));
                traits[k] = traits_of(*held);
                tags[k] = std::move(held->carrier_tags);
                edges[k] = carrier_edges(held->payload.span(), held->sync_offset, held->packing);
                check_interruption();
            } catch (const std::exception& error) {
                throw std::runtime_error(plan.carrier_labels[k] + ": " + error.what());
            }
            warn_if_cut_short(std::cout, *held, plan.carrier_labels[k]);
            std::ostringstream report;
            print_detection_report(report, *held);
            reports[k] = report.str();
        }
        for (std::size_t k = 1; k < traits.size(); ++k) {
            const std::string difference = first_difference(traits[0], traits[k]);
            if (!difference.empty()) {
                throw std::runtime_error(plan.carrier_labels[k] + " does not continue " + plan.first_carrier +
                                         ": its " + difference + " differs");
            }
        }
        check_order();
    }
    // Tracks given out of order, or a file missing between two, would join frames that do not follow
    // each other: refused before any output exists.
    void check_order() const {
        for (std::size_t k = 1; k < edges.size(); ++k) {
            if (continues(edges[k - 1], edges[k], traits[0].packing)) continue;
            const std::string before =
                plan.track_per_carrier ? "track " + std::to_string(k) + " (" + utf8_from_path(plan.carriers[k - 1]) + ")"
                                       : plan.carrier_labels[k - 1];
            throw std::runtime_error(plan.carrier_labels[k] + " does not continue " + before +
                                     ": are the tracks in disc order?");
        }
    }

    DiscStream(const DiscStream&) = delete;  // its source() refers to it
    DiscStream& operator=(const DiscStream&) = delete;

    std::span<const std::uint8_t> load(std::size_t k) {
        loaded = k;
        if (k == 0) return dts_stream(*held);
        loading = true;
        held.reset();  // never two payloads at once
        set_ffmpeg_log_source(utf8_from_path(plan.carriers[k]));
        held.emplace(analyse_input(plan.carriers[k]));
        if (held->payload.size() != traits[k].payload_size) {
            throw std::runtime_error("input changed during the conversion");
        }
        loading = false;
        return std::span<const std::uint8_t>(held->payload);
    }

    DtsSource source() {
        return DtsSource{StreamSegments{traits.size(), [this](std::size_t k) { return load(k); }}, traits[0].packing,
                         traits[0].has_pcm_carrier, 0, nullptr};
    }
};

// Each track of the operand form keeps its own rip's tags and cover under the plan's (the numbering
// and the command line's album tags); a sheet's tracks take the sheet's texts alone.
std::vector<TrackOutput> tagged_tracks(const GaplessPlan& plan, const DiscStream& stream) {
    std::vector<TrackOutput> tracks = plan.tracks;
    if (!plan.track_per_carrier) return tracks;
    for (std::size_t k = 0; k < tracks.size(); ++k) tracks[k].tags = merge_tags(stream.tags[k], plan.tracks[k].tags);
    return tracks;
}

int run_gapless(GaplessPlan plan, const RunOptions& options, std::ostream& report) {
    for (TrackOutput& track : plan.tracks) track.path = output_in_folder(track.path, path_from_utf8(options.output_dir));
    check_outputs(plan, options.overwrite);
    if (!options.output_dir.empty()) create_output_folder(path_from_utf8(options.output_dir));
    DiscStream stream(plan);
    const TrackPlacement placement = place_track_starts(plan, stream.traits);
    for (const std::string& note : plan.notes) report << note << "\n";
    for (std::size_t k = 0; k < plan.carriers.size(); ++k) {
        report << plan.carrier_headings[k] << "\n" << stream.reports[k];
    }

    ProgressLine progress;
    progress.shown = !options.quiet && standard_error_is_terminal();
    progress.count = plan.tracks.size();
    progress.total = placement.total;
    std::size_t writing = 0;
    const TrackProgress on_progress = [&](std::size_t track, std::uint64_t position) {
        writing = track;
        progress.draw(track, position);
    };
    const Operation operation{OutputSettings{*options.gapless, options.overwrite},
                              DecodeTuning{.conceal_damage = options.conceal_damage,
                                           .threads = jobs_or_processors(options)},
                              stream.source(),
                              TrackOutputs{tagged_tracks(plan, stream), placement.boundaries, on_progress}};
    try {
        run_operation(operation, report, progress);
    } catch (const std::exception& error) {
        progress.clear();
        // A track's output that failed is named; else a carrier that failed to load, or the track
        // being read (with a file per track, the file whose bytes were read).
        const auto* output_failure = dynamic_cast<const TrackOutputFailure*>(&error);
        const std::string label = output_failure ? plan.track_labels[output_failure->track]
                                  : stream.loading && !plan.track_per_carrier ? plan.carrier_labels[stream.loaded]
                                  : plan.track_per_carrier ? plan.track_labels[std::max(stream.loaded, writing)]
                                                           : plan.track_labels[writing];
        throw std::runtime_error(label + ": " + error.what());
    }
    for (std::size_t k = 0; k < plan.tracks.size(); ++k) {
        report << "Track " << k + 1 << " written: " << utf8_from_path(plan.tracks[k].path) << "\n";
    }
    report << "\nConversion complete.\n";
    return 0;
}

// True when the file is small enough to be a CUE sheet and its content is one; its bytes are kept.
bool read_cue_sheet(const std::filesystem::path& path, std::vector<std::uint8_t>& bytes) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error || size > (std::uintmax_t{1} << 20)) return false;
    bytes = read_small_file(path);
    return looks_like_cue_sheet(bytes);
}

}  // namespace

int convert_gapless(const RunOptions& options, std::ostream& report) {
    const OutputKind kind = *options.gapless;
    if ((kind == OutputKind::Wav || kind == OutputKind::Dts) && !is_empty(options.tags)) {
        throw std::runtime_error("tagging is supported for FLAC or Matroska output only");
    }
    if (options.operands.size() == 1) {
        const std::filesystem::path sheet_path = path_from_utf8(options.operands[0]);
        std::vector<std::uint8_t> bytes;
        if (read_cue_sheet(sheet_path, bytes)) {
            return run_gapless(plan_from_sheet(sheet_path, bytes, kind, options.tags), options, report);
        }
    }
    return run_gapless(plan_from_operands(options.operands, kind, options.tags), options, report);
}

}  // namespace orvane
