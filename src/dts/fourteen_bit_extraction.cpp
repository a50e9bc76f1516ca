#include "dts/fourteen_bit_extraction.hpp"

#include <algorithm>
#include <stdexcept>

#include "dts/dts_sync.hpp"
#include "dts/dts_parser.hpp"

namespace orvane {

FourteenBitFrames delimit_14bit_frames(const InputAnalysis& analysis, std::size_t piece_size) {
    if (analysis.sync_offset >= analysis.payload.size()) throw std::runtime_error("invalid DTS sync offset");
    if (!is_14bit(analysis.packing)) {
        throw std::runtime_error("internal error: 14-bit extractor used for non-14-bit DTS");
    }
    static constexpr DtsParserWording kWording{"unable to initialise DTS parser for 14-bit extraction",
                                               "DTS parser error during 14-bit extraction",
                                               "DTS parser flush error during 14-bit extraction"};

    const std::span<const std::uint8_t> stream = dts_stream(analysis);
    std::uint64_t frames = 0;
    std::size_t length = 0;           // bytes of all frames so far
    bool prefix_of_stream = true;      // while true, the frames so far are stream[0, length)
    std::vector<std::uint8_t> copy;
    std::size_t cut_last_frame = 0;

    run_dts_parser(
        analysis, kWording,
        [&](std::span<const std::uint8_t> frame, int) {
            const auto [packing, offset] = find_dts_sync(frame.data(), frame.size(), kFrameSyncScanLimit);
            if (packing != analysis.packing || offset != 0) {
                throw std::runtime_error(
                    "DTS parser returned a packet that does not begin with the expected 14-bit sync word");
            }
            if (prefix_of_stream) {
                // A frame the parser assembled in its own buffer continues the prefix when its bytes are the
                // stream's next ones; only the bytes matter for the result.
                const bool continues = frame.size() <= stream.size() - length &&
                                       (frame.data() == stream.data() + length ||
                                        std::equal(frame.begin(), frame.end(), stream.begin() + length));
                if (!continues) {
                    prefix_of_stream = false;
                    copy.reserve(stream.size());
                    copy.assign(stream.begin(), stream.begin() + length);
                }
            }
            if (!prefix_of_stream) copy.insert(copy.end(), frame.begin(), frame.end());
            ++frames;
            length += frame.size();
        },
        piece_size, [&cut_last_frame](std::size_t size) { cut_last_frame = size; });

    if (frames == 0 || length == 0) {
        throw std::runtime_error("14-bit DTS stream contained no complete parser-delimited frames");
    }
    if (frames < 2) throw std::runtime_error("implausibly short 14-bit DTS extraction (fewer than 2 frames)");

    FourteenBitFrames result;
    result.frame_count = frames;
    result.cut_last_frame = cut_last_frame;
    result.copy = std::move(copy);
    result.bytes = prefix_of_stream ? stream.first(length) : std::span<const std::uint8_t>(result.copy);
    return result;
}

std::vector<std::uint8_t> extract_14bit_frames(const InputAnalysis& analysis, std::uint64_t* frame_count,
                                               std::uint64_t* consumed_bytes) {
    FourteenBitFrames frames = delimit_14bit_frames(analysis);
    std::vector<std::uint8_t> result =
        frames.copy.empty() ? std::vector<std::uint8_t>(frames.bytes.begin(), frames.bytes.end()) : std::move(frames.copy);
    if (frame_count != nullptr) *frame_count = frames.frame_count;
    if (consumed_bytes != nullptr) *consumed_bytes = result.size();
    return result;
}

}  // namespace orvane
