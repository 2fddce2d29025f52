#include "lexicon/app_image.hpp"

#include <gtest/gtest.h>

#include <string>

#include "lexicon/crc16.hpp"
#include "lexicon/word_list_reader.hpp"
#include "lexicon/word_store_fixture.hpp"

namespace {

TEST(Crc16, KnownValues) {
  const std::string check = "123456789";
  EXPECT_EQ(0x29B1, crc16_ccitt({reinterpret_cast<const std::uint8_t*>(check.data()), 9}));
  EXPECT_EQ(0xFFFF, crc16_ccitt({}));
  const bytes one{0x00};
  EXPECT_EQ(0xE1F0, crc16_ccitt(one));
}

// The CRC one bit at a time, straight from its definition: an independent check of every path.
std::uint16_t crc16_by_bits(const bytes& data, std::size_t size) {
  std::uint16_t crc = 0xFFFF;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= static_cast<std::uint16_t>(data[i] << 8);
    for (int bit = 0; bit < 8; ++bit) {
      crc = static_cast<std::uint16_t>((crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
  }
  return crc;
}

TEST(Crc16, AgreesWithTheBitwiseDefinitionAtEveryLength) {
  bytes data(k_app_buffer_size);
  std::uint32_t state = 12345;
  for (std::uint8_t& b : data) {
    state = state * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(state >> 24);
  }
  for (std::size_t size = 0; size < 300; ++size) {
    ASSERT_EQ(crc16_by_bits(data, size), crc16_ccitt({data.data(), size})) << size;
  }
  EXPECT_EQ(crc16_by_bits(data, data.size()), crc16_ccitt(data));
}

struct lexicon_case {
  std::string slot;
  std::string name;
  std::string slot_after;
  bool warns;
};

class MakeLexiconName : public testing::TestWithParam<lexicon_case> {};

TEST_P(MakeLexiconName, UpperCasesPadsAndWarnsOnChange) {
  const lexicon_case& c = GetParam();
  std::array<char, 255> slot{};
  c.slot.copy(slot.data(), c.slot.size());
  testing::internal::CaptureStdout();
  const auto name = make_lexicon_name(slot);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(c.name, name.data());
  EXPECT_EQ(c.slot_after, slot.data());
  EXPECT_EQ(c.warns ? "WARNING: Lexicon name was changed from \"" + c.slot_after + "\" to \"" +
                          c.name + "\".\n"
                    : "",
            out);
}

INSTANTIATE_TEST_SUITE_P(Cases, MakeLexiconName,
                         testing::Values(lexicon_case{"WORDS", "WORDS ", "WORDS ", false},
                                         lexicon_case{"abc", "ABC   ", "abc   ", true},
                                         lexicon_case{"ABC", "ABC   ", "ABC   ", false},
                                         lexicon_case{"ABCDEFGH", "ABCDEF", "ABCDEFGH", false},
                                         lexicon_case{"", "      ", "      ", false},
                                         lexicon_case{"A-B\xe9Z9x", "A B Z9", "A-B\xe9Z9x", true}));

class BuildAppImage : public WordStoreTest {
 protected:
  void SetUp() override {
    WordStoreTest::SetUp();
    dir_ = make_temp_dir();
    bin_ = dir_ + "/fw.bin";
    std::string firmware(k_firmware_head_size + 100, '\0');
    for (std::size_t i = 0; i < firmware.size(); ++i) {
      firmware[i] = static_cast<char>(i * 7);
    }
    write_file(bin_, firmware);
    app_.fill(0xAA);  // stale content must not reach the image
  }
  void TearDown() override { remove_tree(dir_); }

  app_image build_uncaptured() {
    std::array<char, 255> slot{'W', 'O', 'R', 'D', 'S'};
    return build_app_image(bin_.c_str(), slot, "pkg.app", g_word_store, app_);
  }
  app_image build() {
    testing::internal::CaptureStdout();
    const app_image image = build_uncaptured();
    out_ = testing::internal::GetCapturedStdout();
    return image;
  }
  void store(std::int32_t six, std::int32_t four) {
    g_word_store.regular_six_letter_words = six;
    g_word_store.regular_four_letter_words = four;
  }

  std::string dir_, bin_, out_;
  static inline std::array<std::uint8_t, k_app_buffer_size> app_{};
};

TEST_F(BuildAppImage, EmptyLexiconIsHeaderAndZeroGapOnly) {
  const app_image image = build();
  ASSERT_EQ(43072u, image.bytes.size());
  EXPECT_EQ(
      bytes(image.bytes.begin() + 43008, image.bytes.end()),
      (bytes{0x55, 0xAA, 'W',  'O',  'R', 'D', 'S', ' ', 0x40, 0x28, 0x02, 0x00, 0, 0, 0, 0,
             0x40, 0x28, 0x02, 0x00, 0,   0,   0,   0,   0,    0,    0,    0,    0, 0, 0, 0,
             0,    0,    0,    0,    0,   0,   0,   0,   0,    0,    0,    0,    0, 0, 0, 0,
             0,    0,    0,    0,    0,   0,   0,   0,   0,    0,    0,    0,    0, 0, 0, 0}));
  EXPECT_EQ(read_file(bin_).substr(0, 43008),
            std::string(reinterpret_cast<const char*>(image.bytes.data()), 43008));
  EXPECT_EQ(crc16_ccitt(image.bytes), image.firmware_crc16);
  char crc_line[128];
  std::snprintf(crc_line, sizeof crc_line,
                "43072 (0xA840) bytes were written to output app buffer with a generated crc16 "
                "of %d (0x%04X).\n",
                image.firmware_crc16, image.firmware_crc16);
  EXPECT_EQ(std::string("43008 bytes were read from input bin file into app buffer.\n"
                        "Lexicon \"WORDS \" output to app buffer \"pkg.app\".\n") +
                crc_line,
            out_);
}

TEST_F(BuildAppImage, TablesFollowHeaderAndFillToFourBytes) {
  read_word_list(text_stream("garden lamp bird").get(), g_word_store);
  const app_image image = build();
  ASSERT_EQ(43084u, image.bytes.size());  // 43072 + 4 + 6 = 43082, filled to 43084
  EXPECT_EQ(bytes(image.bytes.begin() + 43008, image.bytes.begin() + 43032),
            (bytes{0x55, 0xAA, 'W', 'O', 'R',  'D',  'S',  ' ',  0x44, 0x28, 0x02, 0x00,
                   2,    0,    0,   0,   0x40, 0x28, 0x02, 0x00, 1,    0,    0,    0}));
  EXPECT_EQ(bytes(image.bytes.begin() + 43072, image.bytes.end()),
            (bytes{0x30, 0x22, 0x32, 0x34, 0x58, 0x18, 0xF0, 0x0A, 0x22, 0x30, 0xFF, 0xFF}));
}

TEST_F(BuildAppImage, FillsUpToTheLastByteThatFits) {
  store(25837, 3);  // 146429 unfilled bytes
  EXPECT_EQ(k_app_buffer_size, build().bytes.size());
  EXPECT_EQ(bytes(3, 0xFF), bytes(app_.end() - 3, app_.end()));
  store(25840, 0);  // exactly 146432
  EXPECT_EQ(k_app_buffer_size, build().bytes.size());
}

using BuildAppImageDeathTest = BuildAppImage;

TEST_F(BuildAppImageDeathTest, RefusesAnImageOneBytePastTheArea) {
  store(25838, 3);  // 146433 unfilled bytes
  EXPECT_EXIT(
      {
        stdout_to_stderr();
        build_uncaptured();
      },
      testing::ExitedWithCode(1),
      "ERROR: The generated file is too large to fit in ZORV.\nMax file size is 146432 bytes.\n$");
  EXPECT_EQ(0xAA, app_[43008]);  // nothing past the firmware head was written
}

TEST_F(BuildAppImageDeathTest, MissingShortOrFolderBinFileEndsTheRun) {
  write_file(bin_, std::string(43008, 'x'));
  EXPECT_EQ(43072u, build().bytes.size());
  write_file(bin_, std::string(43007, 'x'));
  EXPECT_EXIT(build_uncaptured(), testing::ExitedWithCode(1),
              "^ERROR: Input bin file was too short.\n$");
  bin_ = dir_ + "/missing.bin";
  EXPECT_EXIT(build_uncaptured(), testing::ExitedWithCode(1),
              "^ERROR, Can't open ZORV-OLED input bin file: \".*/missing.bin\".\n$");
  bin_ = dir_;
  EXPECT_EXIT(build_uncaptured(), testing::ExitedWithCode(1), "^ERROR, Can't open ZORV");
}

}  // namespace
