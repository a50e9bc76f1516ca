// The 16-bit frame walk of the .dts output and the packing conversion, on arbitrary streams.
// The first byte chooses the byte order; the rest is the stream from its first byte.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

#include "common/byte_order.hpp"
#include "dts/dts_frame_walk.hpp"
#include "dts/packing_conversion.hpp"
#include "fuzz_common.hpp"
#include "input/input_analysis.hpp"

namespace {

using namespace orvane;

bool same_walk(const DtsFrameWalk& a, const DtsFrameWalk& b) {
    if (a.core_frames != b.core_frames || a.dropped_bytes != b.dropped_bytes || a.kept.size() != b.kept.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.kept.size(); ++i) {
        if (a.kept[i].offset != b.kept[i].offset || a.kept[i].size != b.kept[i].size) return false;
    }
    return true;
}

void check_walk(const DtsFrameWalk& walk, std::span<const std::uint8_t> big_endian) {
    const std::size_t length = big_endian.size();
    if (walk.core_frames == 0) {
        ORVANE_FUZZ_CHECK(walk.kept.size() == 1 && walk.kept[0].offset == 0 && walk.kept[0].size == length);
        ORVANE_FUZZ_CHECK(walk.dropped_bytes == 0);
        return;
    }
    ORVANE_FUZZ_CHECK(!walk.kept.empty() && walk.kept[0].offset == 0);
    std::uint64_t kept_bytes = 0;
    std::size_t end = 0;
    for (std::size_t i = 0; i < walk.kept.size(); ++i) {
        const ByteRange& range = walk.kept[i];
        ORVANE_FUZZ_CHECK(range.size > 0);
        ORVANE_FUZZ_CHECK(range.offset <= length && range.size <= length - range.offset);
        // Sorted, apart and merged: a gap separates every two ranges.
        if (i > 0) ORVANE_FUZZ_CHECK(range.offset > end);
        end = range.offset + range.size;
        // Every kept run starts with a core frame or an extension block (whose header was read, so
        // ten bytes lie there even when the first frame declares fewer).
        ORVANE_FUZZ_CHECK(range.offset + 10 <= length);
        const std::uint8_t* p = big_endian.data() + range.offset;
        const bool core = p[0] == 0x7F && p[1] == 0xFE && p[2] == 0x80 && p[3] == 0x01;
        const bool extension = p[0] == 0x64 && p[1] == 0x58 && p[2] == 0x20 && p[3] == 0x25;
        ORVANE_FUZZ_CHECK(core || extension);
        kept_bytes += range.size;
    }
    ORVANE_FUZZ_CHECK(walk.dropped_bytes == length - kept_bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const bool swapped = (data[0] & 1) != 0;
    const std::span<const std::uint8_t> stream(data + 1, size - 1);

    // The packing conversion gives the big-endian form; the walk of the little-endian stream must
    // agree with the walk of that form.
    InputAnalysis analysis;
    analysis.payload = std::vector<std::uint8_t>(stream.begin(), stream.end());
    analysis.has_pcm_carrier = true;
    analysis.packing = swapped ? DtsPacking::Le16 : DtsPacking::Be16;
    std::vector<std::uint8_t> big_endian;
    try {
        big_endian = normalise_dts_payload(analysis, nullptr, nullptr);
        ORVANE_FUZZ_CHECK(!stream.empty());
    } catch (const std::runtime_error&) {
        ORVANE_FUZZ_CHECK(stream.empty());  // only the empty payload has no valid offset
        return 0;
    }
    ORVANE_FUZZ_CHECK(big_endian.size() == stream.size());
    std::vector<std::uint8_t> back = big_endian;
    if (swapped) swap_byte_pairs_in_place(back.data(), back.size());
    ORVANE_FUZZ_CHECK(std::equal(back.begin(), back.end(), stream.begin()));

    const DtsFrameWalk walk = walk_dts_frames(stream, swapped);
    check_walk(walk, big_endian);
    if (swapped) ORVANE_FUZZ_CHECK(same_walk(walk, walk_dts_frames(big_endian, false)));

    // The size a Matroska block gets for a frame at the start is one the walk keeps there too.
    const std::size_t extent = dts_frame_extent(stream, analysis.packing);
    ORVANE_FUZZ_CHECK(extent == dts_frame_extent(big_endian, DtsPacking::Be16));
    if (extent > 0) ORVANE_FUZZ_CHECK(walk.kept[0].offset == 0 && walk.kept[0].size >= extent);
    for (const DtsPacking packing : {DtsPacking::Be14, DtsPacking::Le14}) {
        ORVANE_FUZZ_CHECK(dts_frame_extent(stream, packing) <= stream.size());
    }
    return 0;
}
