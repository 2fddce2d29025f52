// Records read back into letter codes: exactly as many codes as asked for, nothing written past
// them (the reader's output is a slice of a larger array).
#include "lexicon/layout.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <span>

namespace {

TEST(DecodeRecord, FillsOnlyTheCodesAskedFor) {
  struct row {
    std::array<std::uint8_t, 4> record;
    std::size_t record_size;
    std::size_t letters;
    std::array<std::uint8_t, 6> codes;
    bool dirty;
  };
  // "lamp" dirty, "garden" clean: (byte - 1) mod 32 a letter.
  const row rows[] = {{{0x58, 0x18, 0xF1}, 3, 4, {11, 0, 12, 15}, true},
                      {{0x30, 0x22, 0x32, 0x34}, 4, 6, {6, 0, 17, 3, 4, 13}, false}};
  for (const row& r : rows) {
    std::array<std::uint8_t, 8> out;
    out.fill(0xEE);
    const bool dirty =
        decode_record(std::span(r.record).first(r.record_size), std::span(out).first(r.letters));
    EXPECT_EQ(r.dirty, dirty);
    for (std::size_t i = 0; i < out.size(); ++i) {
      EXPECT_EQ(i < r.letters ? r.codes[i] : 0xEE, out[i]) << r.letters << " letters, code " << i;
    }
  }
}

}  // namespace
