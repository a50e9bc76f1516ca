#pragma once

#include <cstdint>
#include <cstddef>
#include <filesystem>
#include <span>
#include <utility>
#include <vector>

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

// Fresh memory for a large buffer that is filled once, front to back: not zeroed, and laid out so the
// system can back it with huge pages. Its size is `capacity` bytes.
FileBytes allocate_file_bytes(std::uint64_t capacity);

// A regular file open for reading at any offset; closed with the object.
class InputFile {
public:
    InputFile() = default;
    InputFile(std::intptr_t handle, std::uint64_t size) : handle_(handle), size_(size) {}
    InputFile(InputFile&& other) noexcept
        : handle_(std::exchange(other.handle_, kClosed)), size_(std::exchange(other.size_, 0)) {}
    InputFile& operator=(InputFile&&) = delete;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile();

    std::uint64_t size() const { return size_; }
    // Copies `count` bytes from `offset` on; fails with "unable to read input file" when the file
    // holds fewer (it shrank) or a read fails.
    void read_at(std::uint64_t offset, std::uint64_t count, std::uint8_t* destination) const;
    // The whole file mapped read-only: its pages are the system's file cache, read as they are
    // touched and dropped again under memory pressure, so a file of any size costs no memory of the
    // program's own. Fails with "unable to read input file" when the file cannot be mapped.
    FileBytes map() const;

    static constexpr std::intptr_t kClosed = -1;

private:
    std::intptr_t handle_ = kClosed;
    std::uint64_t size_ = 0;
};

// Opens a regular file by its path (UTF-8 inside std::filesystem::path). Fails with "unable to open
// input file" when it cannot be opened, and with "unable to read input file" when it is no file to
// read (a directory, a FIFO or a device: refused at once, never waited on).
InputFile open_input_file(const std::filesystem::path& path);

// The whole of a small file (a CUE sheet), copied out of it.
inline std::vector<std::uint8_t> read_small_file(const std::filesystem::path& path) {
    const InputFile input = open_input_file(path);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(input.size()));
    if (!bytes.empty()) input.read_at(0, bytes.size(), bytes.data());
    return bytes;
}

}  // namespace orvane
