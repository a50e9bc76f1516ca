#include "app/operation.hpp"

#include <cstddef>
#include <cstdint>
#include <streambuf>

#include "matroska/matroska_writer.hpp"
#include "output/output_policy.hpp"
#include "platform/interruption.hpp"
#include "raw_dts/raw_dts_writer.hpp"

namespace orvane {
namespace {

const char* operation_name(OutputKind kind) {
    switch (kind) {
        case OutputKind::Dts: return "lossless DTS bitstream extraction";
        case OutputKind::Mka: return "lossless DTS -> Matroska mux";
        case OutputKind::Flac: return "DTS decode -> multichannel FLAC";
        case OutputKind::Wav: break;
    }
    return "DTS decode -> multichannel PCM WAV";
}

// The disc's stream ends inside a frame: the whole-frame outputs leave it out, as the decode does.
void print_cut_last_frame(std::ostream& report, std::uint64_t size) {
    if (size > 0) report << "Incomplete final DTS frame ignored: " << size << " bytes\n";
}

void print_raw_dts_summary(std::ostream& report, const RawDtsSummary& summary) {
    report << "DTS frames: " << summary.frames << "\n";
    if (summary.dropped_bytes > 0) report << "Carrier padding removed: " << summary.dropped_bytes << " bytes\n";
    print_cut_last_frame(report, summary.cut_last_frame);
}

}  // namespace

void run_operation(const Operation& operation, std::ostream& report, ProgressLine& progress) {
    const bool disc = operation.source.file == nullptr;
    const std::size_t count = operation.tracks.outputs.size();
    report << "Operation: " << operation_name(operation.settings.kind);
    if (disc) report << ", " << count << " tracks";
    report << "\n";
    switch (operation.settings.kind) {
        case OutputKind::Dts: {
            const RawDtsSummary summary = write_raw_dts(operation.source, operation.tracks, operation.settings, report);
            progress.clear();
            if (disc) print_raw_dts_summary(report, summary);
            break;
        }
        case OutputKind::Mka: {
            // A disc's files are not reported one by one.
            NullReport quiet;
            const std::size_t cut_last_frame =
                mux_matroska(operation.source, operation.tracks, operation.settings, disc ? quiet.stream : report);
            progress.clear();
            print_cut_last_frame(report, cut_last_frame);
            break;
        }
        case OutputKind::Flac:
        case OutputKind::Wav:
            decode_to_pcm(operation.source, operation.tracks, operation.settings, report, operation.tuning);
            progress.clear();
            break;
    }
    // An interruption that came after the last frame still ends the run as interrupted.
    check_interruption();
    for (const TrackOutput& output : operation.tracks.outputs) verify_output(output.path);
}

}  // namespace orvane
