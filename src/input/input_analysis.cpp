#include "input/input_analysis.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "input/dts_sync.hpp"
#include "input/lossless_carrier.hpp"
#include "input/payload_buffer.hpp"

namespace orvane {
namespace {

std::uint32_t read_le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint16_t read_le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

bool has_id(const std::uint8_t* p, const char* id) { return std::memcmp(p, id, 4) == 0; }

struct FileDescriptor {
    int fd = -1;
    ~FileDescriptor() {
        if (fd >= 0) ::close(fd);
    }
};

// Where the first "data" chunk's body lies in the file.
struct DataChunk {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

// Walks the chunks of a RIFF/RF64 WAVE file of `size` bytes, reading what it needs through
// `read_at(offset, count, destination)`, and fills in the format fields of `analysis`.
DataChunk walk_wav_chunks(std::uint64_t size, const ReadAt& read_at, InputAnalysis& analysis) {
    analysis.is_wav_carrier = true;
    if (size < 20) throw std::runtime_error("invalid or unsupported WAV/RF64 file");

    bool seen_format = false;
    std::uint64_t position = 12;
    while (position + 8 <= size) {
        std::uint8_t header[8];
        read_at(position, sizeof header, header);
        const std::uint64_t remaining = size - position - 8;
        // 0xFFFFFFFF is how RF64 (and a RIFF written without knowing its length) says "see ds64" or
        // "unknown": the data then runs to the end of the file, which may lie beyond 4 GiB.
        const std::uint32_t declared = read_le32(header + 4);
        const std::uint64_t usable =
            has_id(header, "data") && declared == 0xFFFFFFFFu ? remaining : std::min<std::uint64_t>(declared, remaining);
        if (has_id(header, "fmt ") && usable >= 16) {
            std::uint8_t body[16];
            read_at(position + 8, sizeof body, body);
            analysis.channels = read_le16(body + 2);
            analysis.sample_rate = read_le32(body + 4);
            analysis.bits_per_sample = read_le16(body + 14);
            const std::uint16_t format_tag = read_le16(body);
            if (format_tag != 1 && format_tag != 0xFFFE) {
                throw std::runtime_error("WAV carrier is not PCM/Extensible PCM");
            }
            seen_format = true;
        } else if (has_id(header, "data")) {
            if (!seen_format) break;
            return DataChunk{position + 8, usable};
        }
        position += 8 + usable + (usable & 1);
    }
    throw std::runtime_error("invalid or unsupported WAV/RF64 file");
}

void read_exactly(int fd, std::uint64_t offset, std::size_t count, std::uint8_t* destination) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = ::pread(fd, destination + done, count - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) throw std::runtime_error("unable to read input file");
        done += static_cast<std::size_t>(got);
    }
}

bool is_carrier_header(const std::uint8_t* bytes, std::uint64_t size) {
    return size >= 12 && (has_id(bytes, "RIFF") || has_id(bytes, "RF64")) && has_id(bytes + 8, "WAVE");
}

// Finds the first sync word in the payload; the analysis is complete afterwards.
void find_first_sync(InputAnalysis& analysis) {
    if (analysis.payload.empty()) throw std::runtime_error("input contains no audio data");
    const auto [packing, offset] =
        find_dts_sync(analysis.payload.data(), analysis.payload.size(), kInputSyncScanLimit);
    if (packing == DtsPacking::Unknown) throw std::runtime_error("no valid DTS sync word was detected");
    analysis.packing = packing;
    analysis.sync_offset = offset;
}

}  // namespace

InputAnalysis analyse_input_bytes(std::vector<std::uint8_t> file_bytes) {
    InputAnalysis analysis;
    const ReadAt read_at = [&](std::uint64_t offset, std::size_t count, std::uint8_t* destination) {
        std::memcpy(destination, file_bytes.data() + offset, count);
    };
    if (is_carrier_header(file_bytes.data(), file_bytes.size())) {
        const DataChunk data = walk_wav_chunks(file_bytes.size(), read_at, analysis);
        // The data body moves to the front of the buffer: one copy of the input in memory, not two.
        file_bytes.erase(file_bytes.begin(), file_bytes.begin() + static_cast<std::ptrdiff_t>(data.offset));
        file_bytes.resize(static_cast<std::size_t>(data.size));
    } else if (const auto format = sniff_lossless_carrier(file_bytes.size(), read_at)) {
        decode_lossless_carrier(*format, file_bytes.size(), read_at, analysis);
        find_first_sync(analysis);
        return analysis;
    }
    analysis.payload = std::move(file_bytes);
    find_first_sync(analysis);
    return analysis;
}

// The file is read once: a carrier's chunk headers where the walk needs them, then the data body
// straight into the payload, so no byte of the input is held or moved twice.
InputAnalysis analyse_input(const std::filesystem::path& input_path) {
    FileDescriptor file;
    // Non-blocking open so that a FIFO without a writer cannot hang the run.
    file.fd = ::open(input_path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (file.fd < 0) throw std::runtime_error("unable to open input file");
    // A directory opens but cannot be read; a pipe or FIFO has no size to seek to.
    struct stat status {};
    if (::fstat(file.fd, &status) != 0 || S_ISDIR(status.st_mode)) throw std::runtime_error("unable to read input file");
    const off_t end = ::lseek(file.fd, 0, SEEK_END);
    if (end < 0) throw std::runtime_error("unable to read input file");
    const auto size = static_cast<std::uint64_t>(end);

    InputAnalysis analysis;
    std::uint8_t head[12] = {};
    if (size >= sizeof head) read_exactly(file.fd, 0, sizeof head, head);
    const ReadAt read_at = [&](std::uint64_t offset, std::size_t count, std::uint8_t* destination) {
        read_exactly(file.fd, offset, count, destination);
    };
    if (is_carrier_header(head, size)) {
        const DataChunk data = walk_wav_chunks(size, read_at, analysis);
        analysis.payload = payload_buffer(static_cast<std::size_t>(data.size));
        read_exactly(file.fd, data.offset, analysis.payload.size(), analysis.payload.data());
    } else if (const auto format = sniff_lossless_carrier(size, read_at)) {
        decode_lossless_carrier(*format, size, read_at, analysis);
    } else {
        analysis.payload = payload_buffer(static_cast<std::size_t>(size));
        read_exactly(file.fd, 0, analysis.payload.size(), analysis.payload.data());
    }
    find_first_sync(analysis);
    return analysis;
}

}  // namespace orvane
