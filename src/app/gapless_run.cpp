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
#include <utility>
#include <vector>

#include "app/detection_report.hpp"
#include "common/track_list.hpp"
#include "decode/decode_loop.hpp"
#include "raw_dts/raw_dts_writer.hpp"
#include "dts/track_boundaries.hpp"
#include "ffmpeg/ffmpeg_log.hpp"
#include "input/cue_sheet.hpp"
#include "input/input_analysis.hpp"
#include "dts/dts_stream_probe.hpp"
#include "matroska/matroska_writer.hpp"
#include "output/output_policy.hpp"
#include "output/track_file_name.hpp"
#include "platform/file_bytes.hpp"
#include "platform/interruption.hpp"
#include "platform/terminal.hpp"
#include "platform/utf8_path.hpp"

namespace orvane {
namespace {


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
    traits.is_wav_carrier = analysis.has_pcm_carrier;
    traits.carrier_rate = analysis.sample_rate;
    traits.carrier_bits = analysis.bits_per_sample;
    traits.carrier_channels = analysis.channels;
    traits.packing = analysis.packing;
    traits.payload_size = analysis.payload.size();
    traits.sync_offset = analysis.sync_offset;
    // The first frame's decode tells the stream's parameters.
    DtsStreamParams params;
    probe_dts_stream(first_dts_frame(analysis), params);
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

// The disc's stream ends inside a frame: the whole-frame outputs leave it out, as the decode does.
void print_cut_last_frame(std::ostream& out, std::uint64_t size) {
    if (size > 0) out << "Incomplete final DTS frame ignored: " << size << " bytes\n";
}

// One gapless run: carrier files read one after another as one DTS stream, cut into tracks.
struct GaplessPlan {
    std::vector<std::filesystem::path> carriers;
    std::vector<std::filesystem::path> other_inputs;  // read too, so never to be replaced
    std::vector<bool> raw_cd_audio;                   // per carrier: the sheet calls it CD audio without a header
    std::vector<std::string> carrier_labels;    // how messages name each carrier
    std::vector<std::string> carrier_headings;  // the line before each carrier's report
    std::string first_carrier;                  // what every later carrier must continue
    // Where each track starts: a carrier and a CD frame in it. Track 1 starts with the stream, so
    // its entry is only checked against the carrier's size.
    std::vector<std::pair<std::size_t, std::uint64_t>> starts;
    bool track_per_carrier = false;  // the operand form: each track is one whole carrier
    std::vector<std::filesystem::path> outputs;
    std::vector<std::string> track_labels;  // how messages name each track
    std::vector<TagSet> tags;
    std::vector<std::string> notes;  // printed before the reports unless quiet
};

int run_gapless(const GaplessPlan& plan, const RunOptions& options, std::ostream& out) {
    const std::size_t count = plan.outputs.size();
    const std::size_t carriers = plan.carriers.size();
    const std::string& format = options.gapless;

    // Outputs first: a name clash or an existing output stops the run before any input is read.
    std::set<std::filesystem::path> seen;
    for (std::size_t k = 0; k < count; ++k) {
        const std::filesystem::path& output = plan.outputs[k];
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
            apply_overwrite_rule(output, options.overwrite);
        } catch (const std::exception& error) {
            throw std::runtime_error(plan.track_labels[k] + ": " + error.what());
        }
    }

    // Analysed last to first, one payload held at a time, so the first carrier's stays for the
    // conversion; the reports still come in order.
    std::vector<TrackTraits> traits(carriers);
    std::vector<std::string> reports(carriers);
    std::optional<InputAnalysis> held;
    for (std::size_t k = carriers; k-- > 0;) {
        try {
            held.reset();
            set_ffmpeg_log_source(utf8_from_path(plan.carriers[k]));
            held.emplace(analyse_input(plan.carriers[k]));
            traits[k] = traits_of(*held);
            check_interruption();
        } catch (const std::exception& error) {
            throw std::runtime_error(plan.carrier_labels[k] + ": " + error.what());
        }
        std::ostringstream report;
        print_detection_report(report, *held);
        reports[k] = report.str();
    }
    for (std::size_t k = 1; k < carriers; ++k) {
        const std::string difference = first_difference(traits[0], traits[k]);
        if (!difference.empty()) {
            throw std::runtime_error(plan.carrier_labels[k] + " does not continue " + plan.first_carrier + ": its " +
                                     difference + " differs");
        }
    }

    // The joined stream runs from the first carrier's sync word through every later payload whole;
    // a track starts at its carrier's place in it plus its CD frames.
    std::vector<std::uint64_t> carrier_at(carriers + 1, 0);
    for (std::size_t k = 0; k < carriers; ++k) carrier_at[k + 1] = carrier_at[k] + traits[k].payload_size;
    const std::uint64_t sync = traits[0].sync_offset;
    TrackBoundaries boundaries;
    for (std::size_t k = 0; k < count; ++k) {
        const auto [carrier, frame] = plan.starts[k];
        std::uint64_t offset = 0;
        if (!plan.track_per_carrier) {
            const TrackTraits& image = traits[carrier];
            try {
                offset = frame * cd_frame_bytes(image.is_wav_carrier, image.carrier_rate, image.carrier_channels,
                                                image.carrier_bits, plan.raw_cd_audio[carrier]);
            } catch (const std::exception& error) {
                throw std::runtime_error(plan.carrier_labels[carrier] + ": " + error.what());
            }
            if (offset >= traits[carrier].payload_size) {
                throw std::runtime_error(plan.track_labels[k] + " starts beyond the end of " +
                                         plan.carrier_labels[carrier]);
            }
            if (k > 0 && carrier == 0 && offset <= sync) {
                throw std::runtime_error(plan.track_labels[k] + " starts before the DTS stream does");
            }
        }
        if (k > 0) boundaries.positions.push_back(carrier_at[carrier] + offset - sync);
    }
    const std::uint64_t total = carrier_at[carriers] - sync;

    if (!options.quiet) {
        for (const std::string& note : plan.notes) out << note << "\n";
        for (std::size_t k = 0; k < carriers; ++k) out << plan.carrier_headings[k] << "\n" << reports[k];
    }

    std::size_t loaded = 0;
    std::size_t writing = 0;
    bool loading = false;
    const StreamSegments segments{carriers, [&](std::size_t k) -> std::span<const std::uint8_t> {
                                      loaded = k;
                                      if (k > 0) {
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
                segments, plan.outputs, boundaries, traits[0].packing, traits[0].is_wav_carrier, options.overwrite,
                on_progress);
            progress.clear();
            if (!options.quiet) {
                out << "DTS frames: " << summary.frames << "\n";
                if (summary.dropped_bytes > 0) out << "Carrier padding removed: " << summary.dropped_bytes << " bytes\n";
                print_cut_last_frame(out, summary.cut_last_frame);
            }
        } else if (format == "mka") {
            if (!options.quiet) out << "Operation: lossless DTS -> Matroska mux, " << count << " tracks\n";
            std::vector<MatroskaTrackOutput> tracks;
            for (std::size_t k = 0; k < count; ++k) tracks.push_back({plan.outputs[k], plan.tags[k]});
            const std::size_t cut_last_frame = mux_matroska_tracks(segments, traits[0].packing, tracks, boundaries,
                                                                   options.overwrite, true, on_progress);
            progress.clear();
            if (!options.quiet) print_cut_last_frame(out, cut_last_frame);
        } else {
            const bool to_flac = format == "flac";
            if (!options.quiet) {
                out << (to_flac ? "Operation: DTS decode -> multichannel FLAC, "
                                : "Operation: DTS decode -> multichannel PCM WAV, ")
                    << count << " tracks\n";
            }
            std::vector<PcmTrackOutput> tracks;
            for (std::size_t k = 0; k < count; ++k) tracks.push_back({plan.outputs[k], to_flac ? plan.tags[k] : TagSet{}, {}});
            decode_to_pcm_tracks(segments, tracks, boundaries, to_flac, options.overwrite, options.quiet,
                                 DecodeTuning{.conceal_damage = options.conceal_damage}, on_progress);
        }
        progress.clear();
        // An interruption that came after the last frame still ends the run as interrupted.
        check_interruption();
        for (const auto& output : plan.outputs) verify_output(output);
    } catch (const std::exception& error) {
        progress.clear();
        // A carrier that failed to load is named as such; otherwise the track being written.
        const std::string label = loading && !plan.track_per_carrier ? plan.carrier_labels[loaded]
                                  : plan.track_per_carrier           ? plan.track_labels[std::max(loaded, writing)]
                                                                     : plan.track_labels[writing];
        throw std::runtime_error(label + ": " + error.what());
    }
    if (!options.quiet) {
        for (std::size_t k = 0; k < count; ++k) {
            out << "Track " << k + 1 << " written: " << plan.outputs[k].string() << "\n";
        }
        out << "\nConversion complete.\n";
    }
    return 0;
}

// The operand form: each operand one track, its output beside it.
GaplessPlan plan_from_operands(const RunOptions& options) {
    const std::vector<std::string>& inputs = options.operands;
    const std::size_t count = inputs.size();
    GaplessPlan plan;
    plan.track_per_carrier = true;
    plan.first_carrier = "track 1";
    plan.tags = track_tags(options.tags, count);
    for (std::size_t k = 0; k < count; ++k) {
        const std::filesystem::path input(inputs[k]);
        std::filesystem::path output = input;
        output.replace_extension("." + options.gapless);
        plan.carriers.push_back(input);
        plan.carrier_labels.push_back(track_name(k, count, inputs[k]));
        plan.carrier_headings.push_back("Track " + std::to_string(k + 1) + ": " + inputs[k]);
        plan.starts.emplace_back(k, 0);
        plan.outputs.push_back(std::move(output));
        plan.track_labels.push_back(track_name(k, count, inputs[k]));
    }
    return plan;
}

// The sheet's texts as one track's tags; command-line tags replace them on every track, --track
// numbering the tracks from its value as in the operand form.
TagSet sheet_tags(const CueSheet& sheet, const CueTrack& track, std::size_t audio_tracks, const TagSet& overrides,
                  const TagSet& numbered) {
    const TagSet tags = cue_track_tags(sheet, track, audio_tracks);
    TagSet replacing = overrides;
    if (!overrides.track.empty()) {
        replacing.track = numbered.track;
        replacing.track_total = numbered.track_total;
    }
    return merge_tags(tags, replacing);
}

// The sheet form: the sheet's audio tracks cut from its image files at their INDEX 01, outputs
// beside the sheet.
GaplessPlan plan_from_sheet(const RunOptions& options, const std::filesystem::path& sheet_path,
                            std::span<const std::uint8_t> bytes) {
    const CueSheet sheet = parse_cue_sheet(bytes);
    const std::filesystem::path folder = sheet_path.parent_path();
    GaplessPlan plan;
    if (sheet.converted_from_windows_1252) {
        plan.notes.push_back("CUE sheet is not UTF-8: its text was read as Windows-1252");
    }

    std::vector<const CueTrack*> audio;
    for (const CueTrack& track : sheet.tracks) {
        if (track.audio) {
            audio.push_back(&track);
        } else {
            plan.notes.push_back("Data track " + two_digit_track_label(track.number) + " skipped");
        }
    }
    if (audio.empty()) throw std::runtime_error("CUE sheet lists no audio tracks");

    // The files holding an audio track's index points are read, in sheet order, each whole.
    std::vector<std::size_t> carrier_of(sheet.files.size(), SIZE_MAX);
    for (const CueTrack* track : audio) {
        for (const CueIndex& index : track->indexes) carrier_of[index.file] = 0;
    }
    for (std::size_t f = 0; f < sheet.files.size(); ++f) {
        if (carrier_of[f] == SIZE_MAX) continue;
        carrier_of[f] = plan.carriers.size();
        const std::filesystem::path image = folder / path_from_utf8(sheet.files[f]);
        if (!std::filesystem::is_regular_file(image)) {
            throw std::runtime_error("image file not found: " + utf8_from_path(image));
        }
        plan.carriers.push_back(image);
        plan.raw_cd_audio.push_back(is_raw_cd_audio(sheet.file_types[f]));
        plan.carrier_labels.push_back("image file " + utf8_from_path(image));
        plan.carrier_headings.push_back("Image file: " + utf8_from_path(image));
    }
    plan.first_carrier = plan.carrier_labels[0];

    const CueIndex& first = track_start(*audio[0]);
    if (first.frame > 0 || carrier_of[first.file] > 0) {
        plan.notes.push_back("Audio before track " + two_digit_track_label(audio[0]->number) +
                             "'s INDEX 01 (a hidden pregap) is kept at the start of track " +
                             two_digit_track_label(audio[0]->number));
    }
    std::vector<NamedTrack> named;
    for (const CueTrack* track : audio) named.push_back({track->number, track->title});
    const std::vector<std::string> names = track_file_names(named, "." + options.gapless);
    const std::vector<TagSet> numbered = track_tags(options.tags, audio.size());
    for (std::size_t k = 0; k < audio.size(); ++k) {
        const CueIndex& start = track_start(*audio[k]);
        plan.starts.emplace_back(carrier_of[start.file], start.frame);
        plan.outputs.push_back(folder / path_from_utf8(names[k]));
        plan.track_labels.push_back("track " + two_digit_track_label(audio[k]->number) + " (" + names[k] + ")");
        plan.tags.push_back(sheet_tags(sheet, *audio[k], audio.size(), options.tags, numbered[k]));
    }
    // The sheet is an input too: no output may replace it.
    plan.other_inputs.push_back(sheet_path);
    return plan;
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

int convert_gapless(const RunOptions& options, std::ostream& out) {
    const std::string& format = options.gapless;
    if ((format == "wav" || format == "dts") && !is_empty(options.tags)) {
        throw std::runtime_error("tagging is supported for FLAC or Matroska output only");
    }
    if (options.operands.size() == 1) {
        const std::filesystem::path sheet_path = path_from_utf8(options.operands[0]);
        std::vector<std::uint8_t> bytes;
        if (read_cue_sheet(sheet_path, bytes)) {
            return run_gapless(plan_from_sheet(options, sheet_path, bytes), options, out);
        }
    }
    return run_gapless(plan_from_operands(options), options, out);
}

}  // namespace orvane
