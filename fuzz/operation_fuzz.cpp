// A whole run of one output operation on an arbitrary input file image, in process: analysis, then
// the operation writing to a scratch file. ORVANE_FUZZ_OPERATION picks it: 1 .dts, 2 .mka, 3 .flac, 4 .wav.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "app/operation.hpp"
#include "common/tag_set.hpp"
#include "decode/decode_loop.hpp"
#include "raw_dts/raw_dts_writer.hpp"
#include "fuzz_common.hpp"
#include "input/input_analysis.hpp"
#include "matroska/matroska_writer.hpp"

namespace {

namespace fs = std::filesystem;
using namespace orvane;

#if ORVANE_FUZZ_OPERATION == 1
constexpr const char* kExtension = ".dts";
#elif ORVANE_FUZZ_OPERATION == 2
constexpr const char* kExtension = ".mka";
#elif ORVANE_FUZZ_OPERATION == 3
constexpr const char* kExtension = ".flac";
#elif ORVANE_FUZZ_OPERATION == 4
constexpr const char* kExtension = ".wav";
#else
#error "ORVANE_FUZZ_OPERATION must be 1 to 4"
#endif

// A scratch directory in memory when there is one: every execution writes a file.
struct Scratch {
    fs::path directory;
    fs::path output;
    Scratch() {
        const fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        directory = base / ("orvane-fuzz-" + std::to_string(::getpid()));
        fs::create_directories(directory);
        output = directory / (std::string("out") + kExtension);
    }
    ~Scratch() {
        std::error_code ignored;
        fs::remove_all(directory, ignored);
    }
};

TagSet fuzz_tags() {
    TagSet tags;
    tags.title = "fuzz";
    tags.track = "1";
    return tags;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::silence_ffmpeg();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Scratch scratch;
    static const TagSet tags = fuzz_tags();
    InputAnalysis analysis;
    try {
        analysis = analyse_input_bytes(std::vector<std::uint8_t>(data, data + size));
    } catch (const std::exception&) {
        return 0;
    }
    try {
        const DtsSource source = file_source(analysis);
        const TrackOutputs tracks{{{scratch.output, tags, {}}}, {}, {}};  // the untagged outputs ignore the tags
        NullReport quiet;
        std::ostream& report = quiet.stream;
#if ORVANE_FUZZ_OPERATION == 1
        write_raw_dts(source, tracks, OutputSettings{OutputKind::Dts, true}, report);
        // Lossless extraction never invents bytes and never reports success for nothing.
        const auto written = fs::file_size(scratch.output);
        ORVANE_FUZZ_CHECK(written > 0 && written <= dts_stream(analysis).size());
#elif ORVANE_FUZZ_OPERATION == 2
        mux_matroska(source, tracks, OutputSettings{OutputKind::Mka, true}, report);
#else
        decode_to_pcm(source, tracks,
                      OutputSettings{ORVANE_FUZZ_OPERATION == 3 ? OutputKind::Flac : OutputKind::Wav, true}, report);
        ORVANE_FUZZ_CHECK(fs::file_size(scratch.output) > 0);
#endif
    } catch (const std::exception&) {
        // The operation refused the input with a message: the expected failure path.
    }
    return 0;
}
