#include "support/carriage.hpp"

#include <stdexcept>
#include <string>
#include <vector>

#include "support/process_runner.hpp"
#include "support/temp_dir.hpp"

namespace orvane::test {

Bytes swap_byte_pairs(const Bytes& bytes) {
    Bytes out(bytes);
    for (std::size_t i = 0; i + 1 < out.size(); i += 2) std::swap(out[i], out[i + 1]);
    return out;
}

Bytes pack_frame_14bit(const Bytes& frame_be16, bool little_endian) {
    const std::size_t total_bits = frame_be16.size() * 8;
    const std::size_t words = (total_bits + 13) / 14;
    Bytes out;
    out.reserve(words * 2);
    std::size_t bit = 0;
    for (std::size_t w = 0; w < words; ++w) {
        std::uint16_t value = 0;
        for (int k = 0; k < 14; ++k, ++bit) {
            value = static_cast<std::uint16_t>(value << 1);
            if (bit < total_bits) value |= (frame_be16[bit / 8] >> (7 - bit % 8)) & 1U;  // zero-fill past the end
        }
        if (value & 0x2000) value |= 0xC000;  // the top two bits repeat bit 13
        const auto high = static_cast<std::uint8_t>(value >> 8);
        const auto low = static_cast<std::uint8_t>(value & 0xFF);
        if (little_endian) {
            out.push_back(low);
            out.push_back(high);
        } else {
            out.push_back(high);
            out.push_back(low);
        }
    }
    return out;
}

Bytes unpack_frame_14bit(const Bytes& carried, bool little_endian) {
    Bytes out;
    out.reserve(carried.size() * 14 / 16 + 1);
    std::uint32_t accumulator = 0;
    int held = 0;
    for (std::size_t i = 0; i + 1 < carried.size(); i += 2) {
        const std::uint16_t word = little_endian ? static_cast<std::uint16_t>(carried[i] | carried[i + 1] << 8)
                                                 : static_cast<std::uint16_t>(carried[i] << 8 | carried[i + 1]);
        accumulator = (accumulator << 14) | (word & 0x3FFFU);
        held += 14;
        while (held >= 8) {
            held -= 8;
            out.push_back(static_cast<std::uint8_t>(accumulator >> held));
        }
        accumulator &= (1U << held) - 1U;
    }
    return out;
}

Bytes carry_frame(const Bytes& frame_be16, DtsPacking packing) {
    switch (packing) {
        case DtsPacking::Be16: return frame_be16;
        case DtsPacking::Le16: return swap_byte_pairs(frame_be16);
        case DtsPacking::Be14: return pack_frame_14bit(frame_be16, false);
        case DtsPacking::Le14: return pack_frame_14bit(frame_be16, true);
        default: throw std::invalid_argument("carry_frame: no carriage for an unknown packing");
    }
}

Bytes carry_clip(const DtsClip& clip, DtsPacking packing) {
    Bytes out;
    for (const Bytes& frame : clip.frames) {
        const Bytes carried = carry_frame(frame, packing);
        out.insert(out.end(), carried.begin(), carried.end());
    }
    return out;
}

Bytes carried_payload(const DtsClip& clip, DtsPacking packing, std::size_t lead, std::size_t frames,
                      std::size_t extra) {
    Bytes payload(lead, 0x00);
    for (std::size_t k = 0; k < frames; ++k) {
        const Bytes frame = carry_frame(clip.frames[k], packing);
        payload.insert(payload.end(), frame.begin(), frame.end());
    }
    if (extra > 0) {
        const Bytes next = carry_frame(clip.frames[frames], packing);
        payload.insert(payload.end(), next.begin(), next.begin() + static_cast<std::ptrdiff_t>(extra));
    }
    return payload;
}

Bytes spdif_bursts(const DtsClip& clip, bool big_endian) {
    const TempDir dir;
    const auto in = dir.file("clip.dts");
    const auto out = dir.file("bursts.spdif");
    write_file(in, clip.joined());
    std::vector<std::string> args = {"-v", "error", "-y", "-f", "dts", "-i", in.string(), "-c", "copy"};
    if (big_endian) args.insert(args.end(), {"-spdif_flags", "be"});
    args.insert(args.end(), {"-f", "spdif", out.string()});
    const ProcessResult result = run_program("ffmpeg", args);
    if (result.status != 0) throw std::runtime_error("spdif bursts: FFmpeg refused the clip: " + result.err);
    return read_file(out);
}

}  // namespace orvane::test
