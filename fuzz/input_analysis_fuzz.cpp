// Input analysis of arbitrary file images: carrier walk and sync search.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "fuzz_common.hpp"
#include "dts/dts_sync.hpp"
#include "input/input_analysis.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orvane;
    fuzz::silence_ffmpeg();
    std::vector<std::uint8_t> bytes(data, data + size);
    InputAnalysis analysis;
    try {
        analysis = analyse_input_bytes(std::move(bytes));
    } catch (const std::runtime_error&) {
        return 0;  // a refusal with a message is the expected way out
    }

    // What every consumer relies on after a successful analysis.
    ORVANE_FUZZ_CHECK(!analysis.payload.empty());
    ORVANE_FUZZ_CHECK(is_16bit(analysis.packing) || is_14bit(analysis.packing));
    const std::uint64_t window = std::min<std::uint64_t>(analysis.payload.size(), kInputSyncScanLimit);
    ORVANE_FUZZ_CHECK(analysis.sync_offset + 6 <= window);
    const bool decoded = analysis.has_pcm_carrier && analysis.carrier_format != CarrierFormat::Wav;
    ORVANE_FUZZ_CHECK(decoded || analysis.payload.size() <= size);
    if (decoded) {
        // A lossless carrier decodes to whole 16-bit stereo sample frames of a DTS-CD's format.
        ORVANE_FUZZ_CHECK(analysis.payload.size() % 4 == 0);
        ORVANE_FUZZ_CHECK(analysis.bits_per_sample == 16 && analysis.channels == 2);
        ORVANE_FUZZ_CHECK(analysis.sample_rate == 44100 || analysis.sample_rate == 48000);
    } else if (!analysis.has_pcm_carrier) {
        ORVANE_FUZZ_CHECK(analysis.payload.size() == size);
        ORVANE_FUZZ_CHECK(std::memcmp(analysis.payload.data(), data, size) == 0);
        ORVANE_FUZZ_CHECK(analysis.sample_rate == 0 && analysis.channels == 0 && analysis.bits_per_sample == 0);
    } else {
        // The payload is a verbatim slice of the file.
        ORVANE_FUZZ_CHECK(std::search(data, data + size, analysis.payload.begin(), analysis.payload.end()) !=
                          data + size);
    }
    // The search is deterministic and finds nothing earlier.
    const auto again = find_dts_sync(analysis.payload.data(), analysis.payload.size(), kInputSyncScanLimit);
    ORVANE_FUZZ_CHECK(again.first == analysis.packing && again.second == analysis.sync_offset);
    const auto earlier = find_dts_sync(analysis.payload.data(), analysis.sync_offset + 5, kInputSyncScanLimit);
    ORVANE_FUZZ_CHECK(earlier.first == DtsPacking::Unknown);
    ORVANE_FUZZ_CHECK(dts_stream(analysis).size() == analysis.payload.size() - analysis.sync_offset);
    return 0;
}
