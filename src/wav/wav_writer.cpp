#include "wav/wav_writer.hpp"

#include <cstring>
#include <stdexcept>
#include <utility>

#include "common/byte_order.hpp"
#include "platform/output_file.hpp"
#include "decode/sample_conversion.hpp"

namespace orvane {
namespace {

[[noreturn]] void write_failed(WavWriter& writer) {
    writer.failed = true;
    throw std::runtime_error("error writing WAV output");
}

// Seeks to `offset` and writes a 32-bit little-endian value there.
bool patch_le32(std::FILE* file, long offset, std::uint32_t value) {
    std::uint8_t bytes[4];
    write_le32(bytes, value);
    return std::fseek(file, offset, SEEK_SET) == 0 && std::fwrite(bytes, 1, 4, file) == 4;
}

}  // namespace

WavWriter::~WavWriter() {
    // Taken out so finish_wav cannot commit an unfinished file; removed (if staged) once it is closed.
    const std::optional<StagedOutput> unfinished = std::exchange(output, std::nullopt);
    try {
        finish_wav(*this);
    } catch (...) {
    }
    if (file != nullptr) std::fclose(file);
}

void open_wav_output(WavWriter& writer, const std::filesystem::path& output_path, std::uint32_t sample_rate,
                     int channels, bool overwrite) {
    writer.output.emplace(output_path, overwrite);
    writer.sample_rate = sample_rate;
    writer.channels = channels;
    writer.file = open_output_file(writer.output->path);
    if (writer.file == nullptr) throw std::runtime_error("unable to create WAV output");
    writer.stream_buffer = std::make_unique_for_overwrite<char[]>(kWavWriteBufferSize);
    std::setvbuf(writer.file, writer.stream_buffer.get(), _IOFBF, kWavWriteBufferSize);

    std::uint8_t header[44] = {};
    std::memcpy(header, "RIFF", 4);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    write_le32(header + 16, 16);
    write_le16(header + 20, 1);
    write_le16(header + 22, static_cast<std::uint16_t>(channels));
    write_le32(header + 24, sample_rate);
    write_le32(header + 28, sample_rate * static_cast<std::uint32_t>(channels) * 3);
    write_le16(header + 32, static_cast<std::uint16_t>(channels * 3));
    write_le16(header + 34, 24);
    std::memcpy(header + 36, "data", 4);
    if (std::fwrite(header, 1, sizeof header, writer.file) != sizeof header) write_failed(writer);
}

void write_wav_frame(WavWriter& writer, const AVFrame& frame) {
    writer.buffer.clear();
    append_pcm24_bytes(frame, writer.channels, writer.buffer);
    write_wav_bytes(writer, writer.buffer);
}

void write_wav_bytes(WavWriter& writer, std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return;
    if (writer.failed || std::fwrite(bytes.data(), 1, bytes.size(), writer.file) != bytes.size()) {
        write_failed(writer);
    }
    writer.data_bytes += bytes.size();
}

void finish_wav(WavWriter& writer) {
    // Nothing to finish once closed; after a failed write the sizes would describe bytes that may
    // not be on disk, so they stay 0.
    if (writer.file == nullptr || writer.failed) return;
    if (writer.data_bytes > kMaxWavDataBytes) {
        throw std::runtime_error("decoded WAV exceeds RIFF 4 GiB limit; FLAC is recommended");
    }
    const auto data_size = static_cast<std::uint32_t>(writer.data_bytes);
    const bool patched = std::fflush(writer.file) == 0 && patch_le32(writer.file, 4, data_size + 36) &&
                         patch_le32(writer.file, 40, data_size);
    std::FILE* file = writer.file;
    writer.file = nullptr;
    const bool closed = std::fclose(file) == 0;
    if (!patched || !closed) write_failed(writer);
    if (writer.output) writer.output->commit();
}

}  // namespace orvane
