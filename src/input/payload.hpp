#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <stdexcept>
#include <utility>
#include <vector>

#include "platform/file_bytes.hpp"

namespace orvane {

// The carried bytes every operation reads: a range of the file as it was read whole, or of a buffer
// handed in, held where they lie rather than copied out. A copy of a payload owns a copy of its bytes.
class Payload {
public:
    using value_type = std::uint8_t;
    using iterator = const std::uint8_t*;
    using const_iterator = const std::uint8_t*;

    Payload() = default;
    Payload(std::vector<std::uint8_t> bytes) : owned_(std::move(bytes)), view_(owned_) {}
    Payload(std::initializer_list<std::uint8_t> bytes) : Payload(std::vector<std::uint8_t>(bytes)) {}
    Payload(std::vector<std::uint8_t> bytes, std::uint64_t offset, std::uint64_t size) : owned_(std::move(bytes)) {
        view_ = range(owned_, offset, size);
    }
    Payload(FileBytes file, std::uint64_t offset, std::uint64_t size) : file_(std::move(file)) {
        view_ = range(file_.bytes(), offset, size);
    }

    Payload(const Payload& other) : Payload(std::vector<std::uint8_t>(other.begin(), other.end())) {}
    Payload& operator=(const Payload& other) {
        if (this != &other) *this = Payload(other);
        return *this;
    }
    // Moving a vector or a FileBytes keeps its memory where it is, so the view stays valid.
    Payload(Payload&& other) noexcept
        : owned_(std::move(other.owned_)), file_(std::move(other.file_)), view_(std::exchange(other.view_, {})) {}
    Payload& operator=(Payload&& other) noexcept {
        owned_ = std::move(other.owned_);
        file_ = std::move(other.file_);
        view_ = std::exchange(other.view_, {});
        return *this;
    }

    const std::uint8_t* data() const { return view_.data(); }
    std::size_t size() const { return view_.size(); }
    bool empty() const { return view_.empty(); }
    const std::uint8_t* begin() const { return view_.data(); }
    const std::uint8_t* end() const { return view_.data() + view_.size(); }
    std::uint8_t operator[](std::size_t index) const { return view_[index]; }
    std::span<const std::uint8_t> span() const { return view_; }

    friend bool operator==(const Payload& payload, const std::vector<std::uint8_t>& bytes) {
        return std::ranges::equal(payload.view_, bytes);
    }
    friend bool operator==(const Payload& left, const Payload& right) { return std::ranges::equal(left.view_, right.view_); }

private:
    static std::span<const std::uint8_t> range(std::span<const std::uint8_t> all, std::uint64_t offset,
                                               std::uint64_t size) {
        if (offset > all.size() || size > all.size() - offset) throw std::logic_error("payload outside its buffer");
        return all.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(size));
    }

    std::vector<std::uint8_t> owned_;
    FileBytes file_;
    std::span<const std::uint8_t> view_;
};

}  // namespace orvane
