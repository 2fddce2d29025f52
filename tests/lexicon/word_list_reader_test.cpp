#include "lexicon/word_list_reader.hpp"

#include <gtest/gtest.h>

#include <string>

#include "lexicon/word_store_fixture.hpp"

namespace {

class ReadWordListTest : public WordStoreTest {
 protected:
  static int read(std::string_view text) { return read_word_list(text_stream(text).get(), g_word_store).words; }
};

TEST_F(ReadWordListTest, PacksRecordsAndCountsByKindAcrossLines) {
  EXPECT_EQ(3, read("// a comment line, lamp\nLamp, bird. garden\nzebra giraffe"));
  EXPECT_EQ(3, g_word_store.lines_processed);
  EXPECT_EQ(flw_bytes(), (bytes{0x58, 0x18, 0xF1, 0x0A, 0x22, 0x30}));
  EXPECT_EQ(slw_bytes(), (bytes{0x30, 0x22, 0x32, 0x34}));
  EXPECT_EQ(1, g_word_store.dirty_four_letter_words);
  EXPECT_EQ(1, g_word_store.regular_four_letter_words);
  EXPECT_EQ(1, g_word_store.regular_six_letter_words);
  EXPECT_EQ(0, g_word_store.dirty_six_letter_words);
}

TEST_F(ReadWordListTest, LetterCodeCoversEveryByteValue) {
  EXPECT_EQ(5, read("aaaa zzzz ab1d LAMP lAmp"));
  EXPECT_EQ(flw_bytes(), (bytes{0x00, 0x00, 0x00, 0xCE, 0x73, 0x90, 0x00, 0x60, 0x30, 0x58, 0x18,
                                0xF1, 0x58, 0x18, 0xF1}));
  EXPECT_EQ(3, read("e-mail zzzzzz Garden"));
  EXPECT_EQ(slw_bytes(),
            (bytes{0x23, 0x18, 0x04, 0x2C, 0xCE, 0x73, 0x9C, 0xE4, 0x30, 0x22, 0x32, 0x35}));
  // Bytes from 0x80 up code like the byte 0x80 lower and never make a word dirty.
  g_word_store = word_store{};
  g_word_store.flw_buff = flw_;
  g_word_store.slw_buff = slw_;
  EXPECT_EQ(1, read("\xe1\xe2\xe3\xe4"));
  EXPECT_EQ(flw_bytes(), (bytes{0x00, 0x44, 0x30}));
  EXPECT_EQ(1, g_word_store.regular_four_letter_words);
}

TEST_F(ReadWordListTest, SplitsOnlyAtSpaceCommaAndFullStop) {
  EXPECT_EQ(3, read("lamp, bird. tree"));
  EXPECT_EQ(2, read("lamp,,, bird"));
  EXPECT_EQ(0, read("U.S.A."));
  EXPECT_EQ(0, read("lamp\tbird"));  // one 9-byte token
  EXPECT_EQ(1, read("ab\tc"));
  const bytes flw = flw_bytes();
  EXPECT_EQ(bytes(flw.end() - 3, flw.end()), (bytes{0x00, 0x50, 0x20}));
  EXPECT_EQ(2, read("lamp lamp"));  // duplicates are kept
}

TEST_F(ReadWordListTest, CommentNeedsSlashesAtLineStart) {
  EXPECT_EQ(0, read("//lamp bird"));
  EXPECT_EQ(1, read(" // note"));
  EXPECT_EQ(1, read("/abc"));  // one slash is a token byte
  EXPECT_EQ(1, read("a//b"));
  // However long, a comment line is one comment: nothing of its tail is a word.
  EXPECT_EQ(1, read("//" + std::string(300, 'x') + " lamp bird\nsofa"));
  EXPECT_EQ(6, g_word_store.lines_processed);
}

TEST_F(ReadWordListTest, LineEndsLfCrLfAndLoneCr) {
  EXPECT_EQ(0, read(""));
  EXPECT_EQ(0, g_word_store.lines_processed);
  EXPECT_EQ(4, read("lamp\rbird\r\nsofa\ntree"));
  EXPECT_EQ(4, g_word_store.lines_processed);
  EXPECT_EQ(0, read("\r\r\n\n"));  // CR, CR LF, LF: three line ends
  EXPECT_EQ(7, g_word_store.lines_processed);
  EXPECT_EQ(1, read("//x\rlamp"));  // a lone CR ends the comment line
  EXPECT_EQ(9, g_word_store.lines_processed);
}

TEST_F(ReadWordListTest, ZeroByteEndsTheTextOfItsLine) {
  EXPECT_EQ(2, read(std::string("lamp\0bird sofa\ntree", 19)));
  EXPECT_EQ(2, g_word_store.lines_processed);
  EXPECT_EQ(0, read(std::string("ab\0cd", 5)));
}

TEST_F(ReadWordListTest, LongLinesAreNeverCut) {
  // Tokens across any read boundary stay whole; long tokens are skipped, not split into words.
  std::string line;
  for (int i = 0; i < 30000; ++i) {
    line += "garden,";
  }
  EXPECT_EQ(30000, read(line + "\n"));
  EXPECT_EQ(1, g_word_store.lines_processed);
  EXPECT_EQ(0, read(std::string(100000, 'x') + "\n" + std::string(254, 'y')));
  EXPECT_EQ(1, read("abcdefghij" + std::string(244, ' ') + "wxyz"));
}

TEST_F(ReadWordListTest, FullBufferRefusesSilentlyPerLength) {
  g_word_store.slw_pos = 63998 * k_six_letter_record_size;
  g_word_store.flw_pos = 85332 * k_four_letter_record_size;
  EXPECT_EQ(2, read("garden garden lamp lamp"));
  EXPECT_EQ(255996u, g_word_store.slw_pos);
  EXPECT_EQ(255999u, g_word_store.flw_pos);
  EXPECT_EQ(1, g_word_store.regular_six_letter_words);
  EXPECT_EQ(1, g_word_store.regular_four_letter_words);
  EXPECT_EQ(0, read("sofa bridge"));
}

TEST_F(ReadWordListTest, StopsOneBytePastItsLimit) {
  const word_list_result result = read_word_list(text_stream(std::string(500, 'a')).get(), g_word_store, 100);
  EXPECT_EQ(101, result.bytes_read);
  EXPECT_FALSE(result.read_failed);
  EXPECT_EQ(0, read_word_list(nullptr, g_word_store).words);
}

TEST_F(ReadWordListTest, SameResultWhereverTextFallsInTheReadBuffer) {
  // Comments, CR LF, a zero byte and words, moved byte by byte across the places where the reader
  // splits its input, near the start and around the end of its first 64 KiB.
  const std::string body = std::string("//lamp bird garden\n  // note\r\nGarden, e-mail.\r") +
                           std::string("ab\0cd lamp\n", 11) + "//" + std::string(120, 'x') +
                           " lamp\nzebra giraffe tree";
  for (int start : {0, 65536 - 200}) {
    for (int shift = start; shift < start + 200; ++shift) {
      g_word_store = word_store{};
      g_word_store.slw_buff = slw_;
      g_word_store.flw_buff = flw_;
      ASSERT_EQ(4, read(std::string(static_cast<std::size_t>(shift), '\n') + body)) << shift;
      EXPECT_EQ(shift + 6, g_word_store.lines_processed) << shift;
      EXPECT_EQ(flw_bytes(), (bytes{0x6B, 0xA6, 0x40, 0x9C, 0x48, 0x40})) << shift;
      EXPECT_EQ(slw_bytes(), (bytes{0x30, 0x22, 0x32, 0x35, 0x23, 0x18, 0x04, 0x2C})) << shift;
      EXPECT_EQ(1, g_word_store.dirty_six_letter_words) << shift;
    }
  }
}

}  // namespace
