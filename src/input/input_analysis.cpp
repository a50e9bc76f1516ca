#include "input/input_analysis.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "input/dts_sync.hpp"

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

std::vector<std::uint8_t> read_whole_file(const std::filesystem::path& input_path) {
    FileDescriptor file;
    // Non-blocking open so that a FIFO without a writer cannot hang the run.
    file.fd = ::open(input_path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (file.fd < 0) throw std::runtime_error("unable to open input file");
    // A directory opens but cannot be read; a pipe or FIFO has no size to seek to.
    struct stat status {};
    if (::fstat(file.fd, &status) != 0 || S_ISDIR(status.st_mode)) throw std::runtime_error("unable to read input file");
    const off_t end = ::lseek(file.fd, 0, SEEK_END);
    if (end < 0 || ::lseek(file.fd, 0, SEEK_SET) != 0) throw std::runtime_error("unable to read input file");

    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(end));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::read(file.fd, bytes.data() + done, bytes.size() - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) throw std::runtime_error("unable to read input file");
        done += static_cast<std::size_t>(got);
    }
    return bytes;
}

// Leaves only the first "data" chunk's body in `file`, moved to the front in place.
void parse_wav_carrier(std::vector<std::uint8_t>& file, InputAnalysis& analysis) {
    analysis.is_wav_carrier = true;
    const std::uint64_t size = file.size();
    if (size < 20) throw std::runtime_error("invalid or unsupported WAV/RF64 file");

    bool seen_format = false;
    bool seen_data = false;
    std::uint64_t data_offset = 0;
    std::uint64_t data_size = 0;
    std::uint64_t position = 12;
    while (position + 8 <= size) {
        const std::uint8_t* header = file.data() + position;
        const std::uint64_t declared = read_le32(header + 4);
        const std::uint64_t usable = std::min(declared, size - position - 8);
        const std::uint8_t* body = header + 8;
        if (has_id(header, "fmt ") && usable >= 16) {
            analysis.channels = read_le16(body + 2);
            analysis.sample_rate = read_le32(body + 4);
            analysis.bits_per_sample = read_le16(body + 14);
            const std::uint16_t format_tag = read_le16(body);
            if (format_tag != 1 && format_tag != 0xFFFE) {
                throw std::runtime_error("WAV carrier is not PCM/Extensible PCM");
            }
            seen_format = true;
        } else if (has_id(header, "data")) {
            data_offset = position + 8;
            data_size = usable;
            seen_data = true;
            break;
        }
        position += 8 + usable + (usable & 1);
    }
    if (!seen_format || !seen_data) throw std::runtime_error("invalid or unsupported WAV/RF64 file");

    // The data body moves to the front of the file buffer: one copy of the input in memory, not two.
    file.erase(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(data_offset));
    file.resize(static_cast<std::size_t>(data_size));
}

}  // namespace

InputAnalysis analyse_input_bytes(std::vector<std::uint8_t> file_bytes) {
    InputAnalysis analysis;
    const bool carrier = file_bytes.size() >= 12 &&
                         (has_id(file_bytes.data(), "RIFF") || has_id(file_bytes.data(), "RF64")) &&
                         has_id(file_bytes.data() + 8, "WAVE");
    if (carrier) parse_wav_carrier(file_bytes, analysis);
    analysis.payload = std::move(file_bytes);

    if (analysis.payload.empty()) throw std::runtime_error("input contains no audio data");
    const auto [packing, offset] =
        find_dts_sync(analysis.payload.data(), analysis.payload.size(), kInputSyncScanLimit);
    if (packing == DtsPacking::Unknown) throw std::runtime_error("no valid DTS sync word was detected");
    analysis.packing = packing;
    analysis.sync_offset = offset;
    return analysis;
}

InputAnalysis analyse_input(const std::filesystem::path& input_path) {
    return analyse_input_bytes(read_whole_file(input_path));
}

}  // namespace orvane
