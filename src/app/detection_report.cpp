#include "app/detection_report.hpp"

namespace orvane {

void print_detection_report(std::ostream& out, const InputAnalysis& analysis) {
    if (analysis.is_wav_carrier) {
        out << "Input: DTS-in-WAV carrier, " << analysis.sample_rate << " Hz, " << analysis.bits_per_sample << "-bit, "
            << analysis.channels << " ch\n";
    } else {
        out << "Input: raw DTS elementary stream\n";
    }
    out << "DTS detected: Yes\n";
    out << "Packing: " << packing_name(analysis.packing) << "\n";
    out << "First sync: byte " << analysis.sync_offset << "\n";
}

}  // namespace orvane
