#include "support/wav_file.hpp"

#include <stdexcept>

namespace orvane::test {

namespace {

void put_u16(Bytes& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put_u32(Bytes& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void put_u64(Bytes& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void put_id(Bytes& out, const std::string& id) {
    if (id.size() != 4) throw std::invalid_argument("WAV chunk identifiers have four characters: " + id);
    out.insert(out.end(), id.begin(), id.end());
}

}  // namespace

Bytes fmt_body(std::uint16_t format_tag, std::uint16_t channels, std::uint32_t sample_rate,
               std::uint16_t bits_per_sample) {
    const auto block_align = static_cast<std::uint16_t>(channels * ((bits_per_sample + 7) / 8));
    Bytes body;
    put_u16(body, format_tag);
    put_u16(body, channels);
    put_u32(body, sample_rate);
    put_u32(body, sample_rate * block_align);
    put_u16(body, block_align);
    put_u16(body, bits_per_sample);
    if (format_tag == 0xFFFE) {
        put_u16(body, 22);               // extension size
        put_u16(body, bits_per_sample);  // valid bits
        put_u32(body, channels == 2 ? 0x3U : 0U);
        // KSDATAFORMAT_SUBTYPE_PCM
        static const std::uint8_t pcm_guid[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                                  0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        body.insert(body.end(), pcm_guid, pcm_guid + 16);
    }
    return body;
}

Bytes build_wav(const std::string& riff_id, const std::vector<WavChunk>& chunks,
                std::optional<std::uint32_t> riff_size) {
    Bytes out;
    put_id(out, riff_id);
    put_u32(out, 0);
    put_id(out, "WAVE");
    for (const WavChunk& chunk : chunks) {
        put_id(out, chunk.id);
        put_u32(out, chunk.declared_size.value_or(static_cast<std::uint32_t>(chunk.body.size())));
        out.insert(out.end(), chunk.body.begin(), chunk.body.end());
        if (chunk.body.size() & 1) out.push_back(0);
    }
    std::uint32_t size = riff_id == "RF64" ? 0xFFFFFFFFU : static_cast<std::uint32_t>(out.size() - 8);
    if (riff_size) size = *riff_size;
    for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<std::uint8_t>(size >> (8 * i));
    return out;
}

Bytes ds64_body(std::uint64_t riff_size, std::uint64_t data_size, std::uint64_t sample_count) {
    Bytes body;
    put_u64(body, riff_size);
    put_u64(body, data_size);
    put_u64(body, sample_count);
    put_u32(body, 0);  // no table entries
    return body;
}

Bytes carrier_wav(const Bytes& payload, std::uint32_t sample_rate, bool rf64) {
    WavChunk fmt{"fmt ", fmt_body(1, 2, sample_rate, 16), std::nullopt};
    if (!rf64) return build_wav("RIFF", {fmt, WavChunk{"data", payload, std::nullopt}});
    const std::uint64_t padded = payload.size() + (payload.size() & 1);
    // "WAVE" + ds64 (8 + 28) + fmt (8 + 16) + data header and body
    const std::uint64_t riff_size = 4 + 36 + 24 + 8 + padded;
    WavChunk ds64{"ds64", ds64_body(riff_size, payload.size(), payload.size() / 4), std::nullopt};
    return build_wav("RF64", {ds64, fmt, WavChunk{"data", payload, 0xFFFFFFFFU}});
}

}  // namespace orvane::test
