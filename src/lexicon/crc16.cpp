#include "lexicon/crc16.hpp"

std::uint16_t crc16_ccitt(std::span<const std::uint8_t> bytes) {
  // The shift-and-XOR form does a byte in a handful of operations with no table to keep in cache.
  std::uint16_t crc = 0xFFFF;
  for (const std::uint8_t byte : bytes) {
    crc = static_cast<std::uint16_t>((crc >> 8) | (crc << 8));
    crc ^= byte;
    crc ^= static_cast<std::uint16_t>((crc & 0xFF) >> 4);
    crc ^= static_cast<std::uint16_t>(crc << 12);
    crc ^= static_cast<std::uint16_t>((crc & 0xFF) << 5);
  }
  return crc;
}
