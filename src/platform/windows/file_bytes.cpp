#include "platform/file_bytes.hpp"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <stdexcept>

#include <windows.h>

namespace orvane {
namespace {

struct FileHandle {
    HANDLE handle = INVALID_HANDLE_VALUE;
    ~FileHandle() {
        if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
    }
};

void release_buffer(std::uint8_t* data, std::uint64_t) { std::free(data); }

void release_view(std::uint8_t* data, std::uint64_t) { ::UnmapViewOfFile(data); }

bool names_a_directory(const std::filesystem::path& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

FileBytes allocate_file_bytes(std::uint64_t capacity) {
    void* memory = capacity == 0 ? nullptr : std::malloc(static_cast<std::size_t>(capacity));
    if (memory == nullptr) throw std::bad_alloc();
    return FileBytes(static_cast<std::uint8_t*>(memory), capacity, release_buffer);
}

// By the wide name, 64-bit sizes and offsets throughout: an RF64 carrier may exceed 4 GiB.
InputFile open_input_file(const std::filesystem::path& path) {
    FileHandle file;
    // Others may go on reading and writing the file (a ripping program that still holds it open).
    file.handle = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file.handle == INVALID_HANDLE_VALUE) {
        // A directory is there but is no file to read, as on POSIX.
        throw std::runtime_error(names_a_directory(path) ? "unable to read input file" : "unable to open input file");
    }
    // Devices (NUL, CON, COM1) and pipes have no size to read up to.
    LARGE_INTEGER end{};
    if (::GetFileType(file.handle) != FILE_TYPE_DISK || !::GetFileSizeEx(file.handle, &end) || end.QuadPart < 0) {
        throw std::runtime_error("unable to read input file");
    }
    const auto handle = reinterpret_cast<std::intptr_t>(std::exchange(file.handle, INVALID_HANDLE_VALUE));
    return InputFile(handle, static_cast<std::uint64_t>(end.QuadPart));
}

InputFile::~InputFile() {
    if (handle_ != kClosed) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

// ReadFile reads at most 4 GiB - 1 bytes per call.
void InputFile::read_at(std::uint64_t offset, std::uint64_t count, std::uint8_t* destination) const {
    constexpr std::uint64_t kMaxPart = std::uint64_t{1} << 30;
    std::uint64_t done = 0;
    while (done < count) {
        const std::uint64_t at = offset + done;
        OVERLAPPED position{};
        position.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
        position.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD got = 0;
        const auto part = static_cast<DWORD>(std::min(count - done, kMaxPart));
        if (!::ReadFile(reinterpret_cast<HANDLE>(handle_), destination + done, part, &got, &position) || got == 0) {
            throw std::runtime_error("unable to read input file");
        }
        done += got;
    }
}

// While a view exists Windows refuses to shorten the file, so its bytes stay readable.
FileBytes InputFile::map() const {
    if (size_ == 0) return FileBytes();
    const HANDLE mapping = ::CreateFileMappingW(reinterpret_cast<HANDLE>(handle_), nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping == nullptr) throw std::runtime_error("unable to read input file");
    void* view = ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    ::CloseHandle(mapping);  // the view keeps the mapping alive
    if (view == nullptr) throw std::runtime_error("unable to read input file");
    return FileBytes(static_cast<std::uint8_t*>(view), size_, release_view);
}

}  // namespace orvane
