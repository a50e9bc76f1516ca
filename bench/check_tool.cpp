// Output checks for bench/run, too slow in Python on benchmark-sized files:
//   check_tool pcm A.wav B.wav          compare two 24-bit PCM WAV files sample by sample (pass: same
//                                       format and length, no sample more than 1 LSB apart)
//   check_tool dts14to16 le|be IN OUT   repack a 14-bit DTS stream (words in either byte order) into the
//                                       16-bit big-endian form
//   check_tool swap16 IN OUT            swap the bytes of every 16-bit word (a last odd byte stays)
// Built by bench/run with the system compiler; independent of the program it checks.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes read_file(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::cerr << "check_tool: cannot read " << path << "\n";
        std::exit(2);
    }
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::uint32_t le32(const std::uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

struct Pcm {
    int channels = 0;
    std::uint32_t rate = 0;
    int bits = 0;
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
};

// Finds "fmt " and "data"; a data size that overruns the file (0xFFFFFFFF from a streaming writer) is cut.
Pcm parse_wav(const Bytes& file, const char* name) {
    Pcm pcm;
    if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) != 0 || std::memcmp(file.data() + 8, "WAVE", 4) != 0) {
        std::cerr << "check_tool: " << name << " is not a RIFF WAVE file\n";
        std::exit(2);
    }
    std::size_t pos = 12;
    while (pos + 8 <= file.size()) {
        const std::uint8_t* h = file.data() + pos;
        std::size_t size = le32(h + 4);
        if (size > file.size() - pos - 8) size = file.size() - pos - 8;
        if (std::memcmp(h, "fmt ", 4) == 0 && size >= 16) {
            pcm.channels = le16(h + 10);
            pcm.rate = le32(h + 12);
            pcm.bits = le16(h + 22);
        } else if (std::memcmp(h, "data", 4) == 0) {
            pcm.data = h + 8;
            pcm.size = size;
            break;
        }
        pos += 8 + size + (size & 1);
    }
    if (pcm.data == nullptr || pcm.bits != 24 || pcm.channels <= 0) {
        std::cerr << "check_tool: " << name << " is not 24-bit PCM with a data chunk\n";
        std::exit(2);
    }
    return pcm;
}

std::int32_t s24(const std::uint8_t* p) {
    const std::int32_t v = p[0] | p[1] << 8 | p[2] << 16;
    return v & 0x800000 ? v - 0x1000000 : v;
}

int compare_pcm(const char* a_path, const char* b_path) {
    const Bytes a_file = read_file(a_path);
    const Bytes b_file = read_file(b_path);
    const Pcm a = parse_wav(a_file, a_path);
    const Pcm b = parse_wav(b_file, b_path);
    const std::size_t a_samples = a.size / 3;
    const std::size_t b_samples = b.size / 3;
    const std::size_t n = a_samples < b_samples ? a_samples : b_samples;
    std::uint64_t differing = 0;
    std::int32_t max_diff = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::int32_t d = std::abs(s24(a.data + 3 * i) - s24(b.data + 3 * i));
        if (d != 0) ++differing;
        if (d > max_diff) max_diff = d;
    }
    const bool same_format = a.channels == b.channels && a.rate == b.rate;
    const bool pass = same_format && a_samples == b_samples && max_diff <= 1;
    std::cout << (pass ? "ok" : "MISMATCH") << ": " << a.channels << " ch " << a.rate << " Hz vs " << b.channels
              << " ch " << b.rate << " Hz; samples " << a_samples << " vs " << b_samples << "; max difference "
              << max_diff << " LSB; " << differing << " samples differ\n";
    return pass ? 0 : 1;
}

int repack_14_to_16(const char* order, const char* in_path, const char* out_path) {
    const bool little = std::strcmp(order, "le") == 0;
    const Bytes in = read_file(in_path);
    Bytes out;
    out.reserve(in.size());
    std::uint32_t acc = 0;
    int bits = 0;
    for (std::size_t i = 0; i + 1 < in.size(); i += 2) {
        const std::uint16_t word = little ? static_cast<std::uint16_t>(in[i] | in[i + 1] << 8)
                                          : static_cast<std::uint16_t>(in[i] << 8 | in[i + 1]);
        acc = acc << 14 | (word & 0x3FFF);
        bits += 14;
        while (bits >= 8) {
            out.push_back(static_cast<std::uint8_t>(acc >> (bits - 8)));
            bits -= 8;
        }
        acc &= (1u << bits) - 1;
    }
    if (bits > 0) out.push_back(static_cast<std::uint8_t>(acc << (8 - bits)));
    std::ofstream file(out_path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    return file ? 0 : 2;
}

int swap_16(const char* in_path, const char* out_path) {
    Bytes bytes = read_file(in_path);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) std::swap(bytes[i], bytes[i + 1]);
    std::ofstream file(out_path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return file ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "pcm") == 0) return compare_pcm(argv[2], argv[3]);
    if (argc == 5 && std::strcmp(argv[1], "dts14to16") == 0) return repack_14_to_16(argv[2], argv[3], argv[4]);
    if (argc == 4 && std::strcmp(argv[1], "swap16") == 0) return swap_16(argv[2], argv[3]);
    std::cerr << "usage: check_tool pcm A.wav B.wav | dts14to16 le|be IN OUT | swap16 IN OUT\n";
    return 2;
}
