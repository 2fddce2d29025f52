// The word list reader against the plain restatement of its rules, on texts made to hit every
// path of the scan: words at every offset of its 64-byte windows and 64 KiB blocks, CR, zero
// bytes and comments anywhere, full record buffers and short byte limits.
#include <gtest/gtest.h>

#include <random>

#include "lexicon/word_list_model.hpp"
#include "lexicon/word_scan.hpp"

namespace {

// Tokens of 0 to 8 bytes between runs of separators, so that 4- and 6-byte words are common.
std::string random_text(std::mt19937& random, std::size_t size) {
  using namespace std::string_view_literals;  // the separators hold a zero byte
  static constexpr std::string_view k_letters = "abmzAMZ-\xc3\x1a\t"sv;
  static constexpr std::string_view k_separators = " ,.\n\r\r\n\0//"sv;
  std::string text;
  while (text.size() < size) {
    for (std::uint32_t n = random() % 9; n > 0; --n) {
      text += k_letters[random() % k_letters.size()];
    }
    for (std::uint32_t n = 1 + random() % 2; n > 0; --n) {
      text += k_separators[random() % k_separators.size()];
    }
  }
  return text;
}

TEST(ReadWordList, AgreesWithTheRulesOnRandomTexts) {
  std::mt19937 random(20261207);
  for (int round = 0; round < 400; ++round) {
    // Mostly short texts; every tenth crosses a block or two.
    const std::size_t size = round % 10 == 9 ? 60000 + random() % 120000 : random() % 3000;
    const std::string text = random_text(random, size);
    const bool small_buffers = round % 4 == 1;
    const bool small_limit = round % 4 == 2;
    ASSERT_EQ("",
              word_list_difference(text, small_buffers ? 1 + random() % 40 : k_word_buffer_size,
                                   small_buffers ? 1 + random() % 40 : k_word_buffer_size,
                                   small_limit ? random() % (size + 1) : k_word_list_byte_limit))
        << "round " << round;
  }
}

// The masks of window by the table of what each byte means.
word_scan::window_masks masks_by_the_table(std::span<const std::uint8_t> window) {
  word_scan::window_masks m;
  for (std::size_t at = 0; at < window.size(); ++at) {
    for (const word_scan::byte_class& c : word_scan::k_byte_classes) {
      const std::uint64_t bit = c.byte == window[at] ? std::uint64_t{1} << at : 0;
      m.separator |= c.separator ? bit : 0;
      m.lf |= c.line_feed ? bit : 0;
      m.slash |= c.slash ? bit : 0;
      m.cr |= c.carriage_return ? bit : 0;
      m.nul |= c.nul ? bit : 0;
    }
  }
  return m;
}

// Each machine's masks of random windows of all 256 byte values against the table.
TEST(ReadWordList, BothScansClassifyBytesAsTheTableSays) {
  std::mt19937 random(2112);
  for (const word_scan::window_classifier& machine : word_scan::window_classifiers()) {
    for (int round = 0; round < 2000; ++round) {
      // Mostly token bytes, so that windows without any of the rare classes come up too.
      std::array<std::uint8_t, word_scan::k_window> window{};
      for (std::uint8_t& byte : window) {
        byte = random() % 4 == 0 ? random() % 256 : 'a' + random() % 4 * 11;
      }
      const word_scan::window_masks want = masks_by_the_table(window);
      const word_scan::window_masks got = machine.classify(window.data());
      // The rare masks hold only when their flag says the window has such a byte.
      const auto rare = [](std::uint64_t mask, bool flag) { return flag ? mask : 0; };
      const std::string where = std::string(machine.name) + " round " + std::to_string(round);
      EXPECT_EQ(want.separator, got.separator) << where;
      EXPECT_EQ(want.lf, got.lf) << where;
      EXPECT_EQ((want.slash | want.cr | want.nul) != 0, got.has_slash_cr_or_nul) << where;
      EXPECT_EQ((want.cr | want.nul) != 0, got.has_cr_or_nul) << where;
      EXPECT_EQ(want.slash, rare(got.slash, got.has_slash_cr_or_nul)) << where;
      EXPECT_EQ(want.cr, rare(got.cr, got.has_cr_or_nul)) << where;
      EXPECT_EQ(want.nul, rare(got.nul, got.has_cr_or_nul)) << where;
    }
  }
}

// A byte order mark counts only at the start of the file: the same bytes where a later 64 KiB
// block starts are text.
TEST(ReadWordList, TakesAByteOrderMarkOnlyAtTheStart) {
  const std::string block_of_text = std::string(64 * 1024 - 1, ' ') + "\n";
  for (const std::string mark : {"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"}) {
    for (const std::string& text : {mark + "lamp\n", block_of_text + mark + "lamp wolf\n"}) {
      EXPECT_EQ("", word_list_difference(text, k_word_buffer_size, k_word_buffer_size,
                                         k_word_list_byte_limit))
          << text.size() << " bytes, mark " << mark.size();
    }
  }
}

}  // namespace
