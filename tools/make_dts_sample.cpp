// Writes a DTS sample file: a music-like signal encoded by FFmpeg's DTS encoder, carried in a WAV file
// (or raw when the output ends in .dts), for trying the converter out and for benchmarks.

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <string>
#include <string_view>

#include "dts/dts_packing.hpp"
#include "support/dts_sample.hpp"

namespace {

const char* const kUsage =
    "Usage: make-dts-sample [options] <output>\n"
    "  --seconds S        length in seconds (default 10)\n"
    "  --rate R           sample rate in Hz (default 44100)\n"
    "  --channels C       1, 2, 4, 5 or 6 (default 6, 5.1)\n"
    "  --bitrate B        bits per second (default 1234800: 1792-byte frames at 44100 Hz)\n"
    "  --packing P        be16, le16, be14 or le14 (default le14)\n"
    "  --rf64             RF64 carrier instead of RIFF\n"
    "  --lead BYTES       zero bytes before the first frame (default 0)\n"
    "  --pad BYTES        zero bytes after the last frame (default 0)\n"
    "An output ending in .dts gets the carried stream alone; any other gets a 16-bit stereo PCM WAV carrier.\n"
    "The defaults make a DTS-CD track: 44100 Hz 5.1, 14-bit little-endian words in a RIFF WAV.\n";

[[noreturn]] void usage_error(const std::string& message) {
    std::cerr << "make-dts-sample: " << message << "\n" << kUsage;
    std::exit(2);
}

double parse_number(const std::string& option, const std::string& text) {
    std::size_t used = 0;
    double value = 0;
    try {
        value = std::stod(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used != text.size() || text.empty() || !(value >= 0)) usage_error("bad value for " + option + ": " + text);
    return value;
}

orvane::DtsPacking parse_packing(const std::string& text) {
    if (text == "be16") return orvane::DtsPacking::Be16;
    if (text == "le16") return orvane::DtsPacking::Le16;
    if (text == "be14") return orvane::DtsPacking::Be14;
    if (text == "le14") return orvane::DtsPacking::Le14;
    usage_error("unknown packing: " + text);
}

bool ends_with_dts(const std::string& path) {
    if (path.size() < 4) return false;
    std::string tail = path.substr(path.size() - 4);
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".dts";
}

}  // namespace

int main(int argc, char** argv) {
    orvane::test::DtsSampleOptions options;
    std::string output;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) usage_error(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (arg == "--seconds") {
            options.seconds = parse_number(arg, value());
        } else if (arg == "--rate") {
            options.sample_rate = static_cast<int>(parse_number(arg, value()));
        } else if (arg == "--channels") {
            options.channels = static_cast<int>(parse_number(arg, value()));
        } else if (arg == "--bitrate") {
            options.bit_rate = static_cast<int>(parse_number(arg, value()));
        } else if (arg == "--packing") {
            options.packing = parse_packing(value());
        } else if (arg == "--rf64") {
            options.rf64 = true;
        } else if (arg == "--lead") {
            options.lead = static_cast<std::uint64_t>(parse_number(arg, value()));
        } else if (arg == "--pad") {
            options.pad = static_cast<std::uint64_t>(parse_number(arg, value()));
        } else if (arg.size() > 1 && arg[0] == '-') {
            usage_error("unknown option: " + arg);
        } else if (output.empty()) {
            output = arg;
        } else {
            usage_error("only one output may be given");
        }
    }
    if (output.empty()) usage_error("no output given");
    options.raw = ends_with_dts(output);
    if (options.raw && options.rf64) usage_error("--rf64 applies to WAV outputs only");

    try {
        const auto summary = orvane::test::write_dts_sample(options, output);
        std::cout << "make-dts-sample: wrote " << output << ": " << summary.frames << " DTS frames ("
                  << options.sample_rate << " Hz, " << options.channels << " channels, "
                  << orvane::packing_name(options.packing) << "), "
                  << (options.raw ? std::string("raw stream") : std::string(options.rf64 ? "RF64" : "RIFF") + " WAV carrier")
                  << ", " << summary.file_bytes << " bytes\n";
    } catch (const std::exception& error) {
        std::cerr << "make-dts-sample: " << error.what() << "\n";
        std::remove(output.c_str());
        return 1;
    }
    return 0;
}
