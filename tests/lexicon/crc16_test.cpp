#include "lexicon/crc16.hpp"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace {

std::uint16_t crc_of(std::string_view text) {
  return crc16_ccitt({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

// The CRC one bit at a time, straight from its definition: an independent check of every path.
std::uint16_t crc16_by_bits(std::span<const std::uint8_t> data) {
  std::uint16_t crc = 0xFFFF;
  for (const std::uint8_t byte : data) {
    crc ^= static_cast<std::uint16_t>(byte << 8);
    for (int bit = 0; bit < 8; ++bit) {
      crc = static_cast<std::uint16_t>((crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
  }
  return crc;
}

TEST(Crc16, KnownValuesAndTheDefinitionAtEveryLength) {
  EXPECT_EQ(0x29B1, crc_of("123456789"));
  EXPECT_EQ(0xFFFF, crc_of(""));
  EXPECT_EQ(0xE1F0, crc_of(std::string_view("\0", 1)));
  // Short inputs take the byte loop, longer ones the fold and its tail.
  std::vector<std::uint8_t> data(146432);
  std::uint32_t state = 12345;
  for (std::uint8_t& b : data) {
    state = state * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(state >> 24);
  }
  for (std::size_t size = 0; size < 300; ++size) {
    ASSERT_EQ(crc16_by_bits(std::span(data).first(size)), crc16_ccitt(std::span(data).first(size)))
        << size;
  }
  EXPECT_EQ(crc16_by_bits(data), crc16_ccitt(data));
}

}  // namespace
