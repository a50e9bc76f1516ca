// The .dts output of a 16-bit little-endian stream is the big-endian output of the same stream, byte
// for byte, wherever the kept ranges start (odd offsets after a resynchronisation included).

#include <gtest/gtest.h>

#include <sstream>

#include "raw_dts/raw_dts_writer.hpp"
#include "support/carriage.hpp"
#include "support/synthetic_frames.hpp"
#include "support/temp_dir.hpp"

namespace orvane {
namespace {

using test::Bytes;

InputAnalysis analysis_of(Bytes payload, DtsPacking packing, std::uint64_t sync_offset, bool carrier) {
    InputAnalysis analysis;
    analysis.payload = std::move(payload);
    analysis.has_pcm_carrier = carrier;
    analysis.packing = packing;
    analysis.sync_offset = sync_offset;
    return analysis;
}

Bytes extract(const InputAnalysis& analysis) {
    test::TempDir dir;
    std::ostringstream report;
    write_raw_dts(file_source(analysis), TrackOutputs{{{dir.file("out.dts")}}}, OutputSettings{OutputKind::Dts},
                  report);
    return test::read_file(dir.file("out.dts"));
}

TEST(WriteRawDts, LittleEndianStreamsComeOutAsTheirBigEndianForm) {
    // Frames of odd and even sizes, odd gaps of junk between them, a cut frame at the end; long enough
    // that the swapped output is written in several chunks.
    Bytes big_endian;
    Bytes frames_only;
    for (int i = 0; i < 700; ++i) {
        const Bytes frame = test::synthetic_core_frame(i % 3 == 0 ? 2013 : 2048, static_cast<std::uint8_t>(i));
        test::append(big_endian, frame);
        test::append(frames_only, frame);
        if (i % 100 == 99) test::append(big_endian, Bytes{0x11, 0x22, 0x33});
    }
    const Bytes cut = test::synthetic_core_frame(999);
    test::append(big_endian, Bytes(cut.begin(), cut.begin() + 501));

    for (const std::size_t lead : {0, 1, 6}) {
        SCOPED_TRACE(lead);
        Bytes be_payload(lead, 0xAA);
        test::append(be_payload, big_endian);
        Bytes le_payload(lead, 0xAA);
        test::append(le_payload, test::swap_byte_pairs(big_endian));  // pairs count from the sync word

        const Bytes from_be = extract(analysis_of(be_payload, DtsPacking::Be16, lead, true));
        EXPECT_EQ(from_be, frames_only);
        EXPECT_EQ(extract(analysis_of(le_payload, DtsPacking::Le16, lead, true)), from_be);
        // A raw stream is copied whole from its sync word, an odd last byte as it is.
        EXPECT_EQ(extract(analysis_of(le_payload, DtsPacking::Le16, lead, false)), big_endian);
    }
}

}  // namespace
}  // namespace orvane
