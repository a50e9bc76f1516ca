#include "app/detection_report.hpp"

#include <iostream>

namespace orvane {

void print_detection_report(std::ostream& out, const InputAnalysis& analysis) {
    if (analysis.has_pcm_carrier) {
        const char* format = analysis.carrier_format == CarrierFormat::Flac      ? "FLAC"
                             : analysis.carrier_format == CarrierFormat::WavPack ? "WavPack"
                                                                                 : "WAV";
        out << "Input: DTS-in-" << format << " carrier, " << analysis.sample_rate << " Hz, " << analysis.bits_per_sample << "-bit, "
            << analysis.channels << " ch\n";
    } else {
        out << "Input: raw DTS elementary stream\n";
    }
    out << "DTS detected: Yes\n";
    out << "Packing: " << packing_name(analysis.packing) << "\n";
    out << "First sync: byte " << analysis.sync_offset << "\n";
    if (analysis.md5_verified) out << "FLAC carrier MD5 verified\n";
    // An interrupted copy: the run goes on with what is there, but the user must know it is partial.
    if (analysis.declared_payload_size > analysis.payload.size()) {
        out << "Input is shorter than its header declares: " << analysis.payload.size() << " of "
            << analysis.declared_payload_size << "\n";
    }
}

void warn_if_cut_short(std::ostream& out, const InputAnalysis& analysis, const std::string& label) {
    const std::string cut = cut_short_warning(analysis);
    if (cut.empty()) return;
    out.flush();
    // One write, so that the warnings of conversions running at once never mix within a line.
    std::cerr << "Warning: " + (label.empty() ? "" : label + ": ") + cut + "\n";
}

}  // namespace orvane
