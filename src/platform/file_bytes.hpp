#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <utility>

namespace orvane {

// The whole content of a file in memory of its own, read-only to its users; freed with the object.
class FileBytes {
public:
    using Release = void (*)(std::uint8_t* data, std::uint64_t size);

    FileBytes() = default;
    FileBytes(std::uint8_t* data, std::uint64_t size, Release release) : data_(data), size_(size), release_(release) {}
    FileBytes(FileBytes&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)),
          release_(std::exchange(other.release_, nullptr)) {}
    FileBytes& operator=(FileBytes&& other) noexcept {
        if (this != &other) {
            reset();
            data_ = std::exchange(other.data_, nullptr);
            size_ = std::exchange(other.size_, 0);
            release_ = std::exchange(other.release_, nullptr);
        }
        return *this;
    }
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;
    ~FileBytes() { reset(); }

    const std::uint8_t* data() const { return data_; }
    std::uint64_t size() const { return size_; }
    std::span<const std::uint8_t> bytes() const { return {data_, static_cast<std::size_t>(size_)}; }

private:
    void reset() {
        if (release_ != nullptr) release_(data_, size_);
        data_ = nullptr;
        size_ = 0;
        release_ = nullptr;
    }

    std::uint8_t* data_ = nullptr;
    std::uint64_t size_ = 0;
    Release release_ = nullptr;
};

// Reads the whole of a regular file (its path in UTF-8 inside std::filesystem::path). Fails with
// "unable to open input file" when it cannot be opened, and with "unable to read input file" when
// it cannot be read as a file (a directory, a FIFO: refused at once, never waited on) or a read fails
// or ends early (a file that shrinks while it is read).
FileBytes read_whole_file(const std::filesystem::path& path);

}  // namespace orvane
