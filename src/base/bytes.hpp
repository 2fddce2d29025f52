#pragma once

// Little-endian numbers in byte buffers, as the device's lexicon header, the init packet and zip
// archives store them.

#include <cstddef>
#include <cstdint>
#include <span>

// Stores value's low out.size() bytes (at most four) in out, the lowest first.
inline void put_le(std::span<std::uint8_t> out, std::uint32_t value) {
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
}

// The number that bytes (at most four) hold, the lowest byte first.
inline std::uint32_t get_le(std::span<const std::uint8_t> bytes) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    value |= std::uint32_t{bytes[i]} << (8 * i);
  }
  return value;
}
