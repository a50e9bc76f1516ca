#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvane {

// An empty payload with room for `capacity` bytes, on huge pages where the system offers them.
std::vector<std::uint8_t> reserve_payload(std::size_t capacity);

// A zero-filled payload of `size` bytes, allocated as reserve_payload does.
std::vector<std::uint8_t> payload_buffer(std::size_t size);

}  // namespace orvane
