#include "app/run_driver.hpp"

#include <exception>
#include <filesystem>
#include <optional>
#include <ostream>
#include <iostream>
#include <stdexcept>
#include <string>

#include "app/batch_run.hpp"
#include "app/command_line.hpp"
#include "app/detection_report.hpp"
#include "app/gapless_run.hpp"
#include "app/operation.hpp"
#include "app/progress_line.hpp"
#include "common/cover_picture.hpp"
#include "output/output_policy.hpp"
#include "common/program_info.hpp"
#include "common/track_list.hpp"
#include "dts/dts_source.hpp"
#include "dts/cue_track_list.hpp"
#include "ffmpeg/ffmpeg_log.hpp"
#include "input/cue_sheet.hpp"
#include "input/input_analysis.hpp"
#include "input/sheet_file_lookup.hpp"
#include "dts/dts_stream_summary.hpp"
#include "platform/command_line_arguments.hpp"
#include "platform/file_bytes.hpp"
#include "platform/file_identity.hpp"
#include "platform/installed_name.hpp"
#include "platform/interruption.hpp"
#include "platform/terminal.hpp"
#include "platform/utf8_path.hpp"

namespace orvane {
namespace {

constexpr const char* kCopyrightLine = "Copyright (C) 2026 the ORVANE developers";

struct RunState {
    std::filesystem::path input_path;
    std::filesystem::path eac_cleanup_path;
};

void refuse_tags(const TagSet& tags) {
    if (!is_empty(tags)) throw std::runtime_error("tagging is supported for FLAC or Matroska output only");
}

// The sheet given with --cue, which must describe the input image alone: one FILE, naming the input
// (relative to the sheet's folder unless absolute).
CueSheet read_sheet_of_image(const std::string& sheet_operand, const std::filesystem::path& image,
                             std::ostream& report) {
    const std::filesystem::path sheet_path = path_from_utf8(sheet_operand);
    CueSheet sheet;
    try {
        sheet = parse_cue_sheet(read_small_file(sheet_path));
    } catch (const std::exception& error) {
        throw std::runtime_error(sheet_operand + ": " + error.what());
    }
    if (sheet.files.size() != 1) {
        throw std::runtime_error(sheet_operand + " names " + std::to_string(sheet.files.size()) +
                                 " files; --cue takes the sheet of one image, the input file");
    }
    const SheetFile named = locate_sheet_file(sheet_path.parent_path(), sheet.files.front());
    const auto identity = file_identity(named.path);
    if (!named.found || !identity || identity != file_identity(image)) {
        throw std::runtime_error(sheet_operand + " is the sheet of another file: " + sheet.files.front());
    }
    if (!named.note.empty()) report << named.note << "\n";
    if (sheet.converted_from_windows_1252) report << "CUE sheet is not UTF-8: its text was read as Windows-1252\n";
    for (const CueTrack& track : sheet.tracks) {
        if (!track.audio) report << "Data track " << two_digit_track_label(track.number) << " skipped\n";
    }
    return sheet;
}

// --cue: the image's track list and the disc's tags into the output. The track list is placed before
// any output exists, so a bad sheet leaves nothing behind.
void add_sheet_of_image(const RunOptions& options, std::optional<OutputKind> kind, const InputAnalysis& analysis,
                        TrackOutput& output, std::ostream& report) {
    if (kind != OutputKind::Flac && kind != OutputKind::Mka) {
        throw std::runtime_error("--cue is supported for FLAC or Matroska output only");
    }
    const bool chapters = kind == OutputKind::Mka;
    const CueSheet sheet = read_sheet_of_image(options.cue, path_from_utf8(options.operands[0]), report);
    output.track_list = place_cue_sheet(sheet, analysis, chapters);
    report << "Track list: " << output.track_list.tracks.size() << " tracks from the CUE sheet, as "
           << (chapters ? "Matroska chapters" : "a FLAC CUESHEET block") << "\n";
    TagSet sheet_tags = cue_disc_tags(sheet);
    // Players take the tracks' titles from the sheet's text, which names the output as its file.
    if (!chapters) {
        const std::string name = utf8_from_path(output.path.filename());
        sheet_tags.extra.emplace_back("CUESHEET", embedded_cue_sheet(sheet, analysis, name));
    }
    output.tags = merge_tags(merge_tags(analysis.carrier_tags, sheet_tags), options.tags);
}

// The output operand, in the --output-dir folder when one is given.
std::filesystem::path output_path_of(const RunOptions& options) {
    return output_in_folder(path_from_utf8(options.operands[1]), path_from_utf8(options.output_dir));
}

// One input file into one output file, or its scan: the single-file run, and each file of a batch.
FileOutcome convert_file(const RunOptions& options, std::ostream& report) {
    const std::filesystem::path input_path = path_from_utf8(options.operands[0]);
    // The throwing overload reports a failed status query (not mere absence) as a filesystem error.
    if (options.skip_existing && !options.scan && options.operands.size() == 2 &&
        std::filesystem::exists(output_path_of(options))) {
        report << "Output exists, skipped: " << utf8_from_path(output_path_of(options)) << "\n";
        return FileOutcome::Skipped;
    }
    set_ffmpeg_log_source(options.operands[0]);
    const InputAnalysis analysis = analyse_input(input_path);
    check_interruption();
    print_detection_report(report, analysis);
    // In a batch, conversions run at once: the warning names its file.
    warn_if_cut_short(report, analysis, options.batch ? options.operands[0] : "");
    if (options.scan) {
        if (!options.quiet) print_stream_summary(report, analysis);
        return FileOutcome::Converted;
    }

    if (options.operands.size() < 2) throw std::runtime_error("no output file specified");
    const std::filesystem::path output_path = output_path_of(options);
    ensure_output_is_not_input(input_path, output_path);
    const std::optional<OutputKind> kind = output_kind_of(options.operands[1]);
    TrackOutput output{output_path, merge_tags(analysis.carrier_tags, options.tags), {}};
    if (!options.cue.empty()) add_sheet_of_image(options, kind, analysis, output, report);
    if (!kind) throw std::runtime_error("unsupported output extension; use .dts, .mka, .flac or .wav");
    if (kind == OutputKind::Dts || kind == OutputKind::Wav) refuse_tags(options.tags);
    if (!options.output_dir.empty()) create_output_folder(path_from_utf8(options.output_dir));

    // A long conversion shows how far it is on a terminal, as a disc's does.
    ProgressLine progress;
    // A batch's conversions run side by side: none draws on the shared terminal line.
    progress.shown = !options.quiet && !options.batch && standard_error_is_terminal();
    progress.disc = false;
    progress.total = dts_stream(analysis).size();
    const TrackProgress on_progress = [&progress](std::size_t track, std::uint64_t position) {
        progress.draw(track, position);
    };
    const Operation operation{OutputSettings{*kind, options.overwrite},
                              // A sheet's image is a disc: its one output is encoded beside the decode.
                              DecodeTuning{.conceal_damage = options.conceal_damage,
                                           .threads = options.cue.empty() ? 1 : jobs_or_processors(options)},
                              file_source(analysis),
                              TrackOutputs{{std::move(output)}, {}, on_progress}};
    run_operation(operation, report, progress);  // a failure's unwinding clears the line
    return FileOutcome::Converted;
}

int convert(RunOptions options, RunState& state) {
    NullReport quiet;
    std::ostream& report = options.quiet ? quiet.stream : std::cout;
    // FFmpeg's errors only tell more about a failure this run reports; quiet means none at all.
    capture_ffmpeg_log(FfmpegLogCapture{.keep_errors = !options.quiet});
    report << kVendorString << "\n" << kCopyrightLine << "\n\n";
    if (options.operands.empty()) throw std::runtime_error("no input file specified");
    if (options.eac) {
        if (options.operands.size() != 2) {
            throw std::runtime_error("--eac requires exactly one input file and one output file");
        }
        state.eac_cleanup_path = output_path_of(options);
    }
    // A picture that cannot be used ends the run before any input is read.
    if (!options.picture.empty()) options.tags.picture = load_cover_picture(path_from_utf8(options.picture));
    if (options.gapless) return convert_gapless(options, report);
    if (options.batch) return run_batch(options, convert_file, report);
    // A glob that matched several files must not turn the second into the first one's output.
    if (options.operands.size() > 2) {
        throw std::runtime_error("too many files: " + std::to_string(options.operands.size()) +
                                 " given; one run converts one input file into one output file "
                                 "(--gapless converts the tracks of a disc together, --batch each file on its own)");
    }
    state.input_path = path_from_utf8(options.operands[0]);
    if (convert_file(options, report) == FileOutcome::Converted && !options.scan) {
        report << "\nConversion complete.\n";
    }
    return 0;
}

// The one failure handler: clean-up, FFmpeg's error lines and the two report lines on standard
// error, status 2.
int report_failure(const std::exception& error, const RunState& state) {
    if (!state.eac_cleanup_path.empty()) {
        // The clean-up of a failed run must never take the user's source with it.
        bool names_input = false;
        if (!state.input_path.empty()) {
            try {
                ensure_output_is_not_input(state.input_path, state.eac_cleanup_path);
            } catch (const std::exception&) {
                names_input = true;
            }
        }
        if (!names_input) remove_path_quietly(state.eac_cleanup_path);
    }
    for (const std::string& line : take_ffmpeg_log()) std::cerr << line;
    std::cerr << "Error: " << error.what() << "\n"
              << "No output file should be trusted if conversion was interrupted.\n";
    return 2;
}

}  // namespace

int run_orvane(const std::vector<std::string>& arguments) {
    if (arguments.empty()) {
        std::cout << usage_text(installed_program_name());
        return 1;
    }
    RunState state;
    capture_ffmpeg_log(FfmpegLogCapture{});  // nothing of an earlier run in this process is kept
    try {
        const ParsedCommandLine parsed = parse_command_line(arguments);
        if (parsed.action == ParseAction::ShowVersion) {
            std::cout << kProgramId << "\n";
            return 0;
        }
        if (parsed.action == ParseAction::ShowUsage) {
            std::cout << usage_text(installed_program_name());
            return 0;
        }
        const int status = convert(parsed.options, state);
        std::cout.flush();
        return status;
    } catch (const std::exception& error) {
        return report_failure(error, state);
    }
}

int run_orvane(int argc, char** argv) {
    std::vector<std::string> arguments;
    try {
        arguments = command_line_arguments(argc, argv);
    } catch (const std::exception& error) {
        return report_failure(error, RunState{});
    }
    return run_orvane(arguments);
}

}  // namespace orvane
