#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

#include "input/dts_packing.hpp"

namespace orvane {

// Read-only bytes that own their storage: either bytes of their own, or a view into the input file
// mapped into memory, which the page cache has read once and nothing ever copies. Copies share the
// bytes, which never change.
class PayloadBytes {
public:
    using value_type = std::uint8_t;
    using size_type = std::size_t;
    using const_iterator = const std::uint8_t*;
    using iterator = const_iterator;

    PayloadBytes() = default;
    PayloadBytes(std::vector<std::uint8_t> bytes) { *this = std::move(bytes); }  // NOLINT: takes the bytes over
    // `size` bytes at `data`, kept alive (and released at the end) by `owner`.
    PayloadBytes(std::shared_ptr<const void> owner, const std::uint8_t* data, std::size_t size)
        : owner_(std::move(owner)), data_(data), size_(size) {}

    PayloadBytes& operator=(std::vector<std::uint8_t> bytes) {
        auto owned = std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes));
        data_ = owned->data();
        size_ = owned->size();
        owner_ = std::move(owned);
        return *this;
    }
    template <typename Iterator>
    void assign(Iterator first, Iterator last) {
        *this = std::vector<std::uint8_t>(first, last);
    }

    const std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const_iterator begin() const { return data_; }
    const_iterator end() const { return data_ + size_; }
    const std::uint8_t& operator[](std::size_t index) const { return data_[index]; }
    operator std::span<const std::uint8_t>() const { return {data_, size_}; }  // NOLINT
    operator std::vector<std::uint8_t>() const { return {begin(), end()}; }    // NOLINT: a copy

    friend bool operator==(const PayloadBytes& a, const std::vector<std::uint8_t>& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }

private:
    std::shared_ptr<const void> owner_;
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

struct InputAnalysis {
    // The carrier's "data" chunk body (cut to the bytes present), or the whole file for a raw stream.
    PayloadBytes payload;
    bool is_wav_carrier = false;
    std::uint32_t sample_rate = 0;
    std::uint16_t bits_per_sample = 0;
    std::uint16_t channels = 0;
    DtsPacking packing = DtsPacking::Unknown;
    std::uint64_t sync_offset = 0;
};

// Reads the whole file once and finds the first DTS sync word in its carried bytes. A regular file is
// mapped into memory rather than copied; should it shrink or fail to read under the run, touching the
// lost part raises SIGBUS (see input_fault_report.hpp).
InputAnalysis analyse_input(const std::filesystem::path& input_path);

// Parses a file image already in memory; the buffer becomes the payload without a second copy.
InputAnalysis analyse_input_bytes(std::vector<std::uint8_t> file_bytes);

// The DTS stream as every operation reads it: the payload from the first sync word on.
inline std::span<const std::uint8_t> dts_stream(const InputAnalysis& analysis) {
    if (analysis.sync_offset >= analysis.payload.size()) return {};
    return std::span<const std::uint8_t>(analysis.payload.data(), analysis.payload.size()).subspan(analysis.sync_offset);
}

}  // namespace orvane
