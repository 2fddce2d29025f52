#include "run_control/config.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_util.hpp"

namespace {

config_result read_lines(const std::string& text) {
  return read_config_lines(text_stream(text).get());
}

std::vector<int> discarded(const config_result& r) {
  return {r.discarded_lines.begin(), r.discarded_lines.begin() + r.warnings};
}

TEST(ReadConfigLines, LinesKeepTheirSlotsWhenOthersAreDiscarded) {
  const config_result r = read_lines("fw.bin\r\npkg\n\n list.txt\nsecond.txt");
  EXPECT_EQ(std::vector<int>{3}, discarded(r));
  EXPECT_STREQ("fw.bin", r.slots[0].data());
  EXPECT_STREQ("pkg", r.slots[1].data());
  EXPECT_STREQ("", r.slots[2].data());
  EXPECT_STREQ(" list.txt", r.slots[3].data());  // no trimming
  EXPECT_STREQ("second.txt", r.slots[4].data());
  EXPECT_FALSE(r.read_failed);
}

TEST(ReadConfigLines, LongLinesAreReadIn254BytePieces) {
  config_result r = read_lines("a\n" + std::string(300, 'b') + "\nc\n");
  EXPECT_EQ(std::vector<int>{2}, discarded(r));
  EXPECT_EQ(std::string(46, 'b'), r.slots[2].data());
  EXPECT_STREQ("c", r.slots[3].data());

  r = read_lines(std::string(253, 'x') + "\n" + std::string(254, 'y') + "\nz");
  EXPECT_EQ(std::string(253, 'x'), r.slots[0].data());
  EXPECT_EQ((std::vector<int>{2, 3}), discarded(r));  // 254 characters, then the bare LF
  EXPECT_STREQ("z", r.slots[3].data());

  r = read_lines(std::string(253, 'x') + "\r\nnext");  // the LF is read on its own
  EXPECT_EQ(std::vector<int>{2}, discarded(r));
  EXPECT_STREQ("next", r.slots[2].data());
}

TEST(ReadConfigLines, CrOrZeroEndsTheText) {
  const config_result r = read_lines(std::string("fw\rjunk\npk\0g\n", 14));
  EXPECT_STREQ("fw", r.slots[0].data());
  EXPECT_STREQ("pk", r.slots[1].data());
}

TEST(ReadConfigLines, StopsAtTheSixteenthDiscardedLine) {
  std::string eleven;
  for (int i = 0; i < 11; ++i) {
    eleven += "line\n";
  }
  config_result r = read_lines(eleven + "\n\n\n\n\n");
  EXPECT_EQ((std::vector<int>{12, 13, 14, 15, 16}), discarded(r));
  std::string more;
  for (int i = 0; i < 40; ++i) {
    more += "extra\n";
  }
  r = read_lines(eleven + more);
  ASSERT_EQ(16, r.warnings);
  EXPECT_EQ(12, r.discarded_lines[0]);
  EXPECT_EQ(27, r.discarded_lines[15]);
  EXPECT_EQ(0, read_lines("").warnings);
}

TEST(DeriveNames, CutsAtFirstFullStopAndKeepsTheRest) {
  const auto names_for = [](const std::string& slot1) {
    config_slots slots{};
    slot1.copy(slots[1].data(), slot1.size());
    return derive_names(slots);
  };
  EXPECT_STREQ("pack", names_for("pack.zip").package.data());
  EXPECT_STREQ("pack.app", names_for("pack").app.data());
  EXPECT_STREQ("a.dat", names_for("a.b.c").dat.data());
  EXPECT_STREQ(".zip", names_for("./pack").zip.data());
  EXPECT_STREQ("out/pkg.app", names_for("out/pkg").app.data());
  const std::string longest(k_max_slot_text, 'n');
  EXPECT_EQ(longest + ".zip", names_for(longest).zip.data());  // never cut short
}

class ReadConfigFileDeathTest : public testing::Test {
 protected:
  void SetUp() override { dir_ = make_temp_dir(); }
  void TearDown() override { remove_tree(dir_); }
  std::string dir_;
};

TEST_F(ReadConfigFileDeathTest, UnopenableFileOrFolderEndsRunWithoutProcessingLine) {
  EXPECT_EXIT(
      {
        stdout_to_stderr();
        read_config_file((dir_ + "/missing.cfg").c_str());
      },
      testing::ExitedWithCode(1), "^ERROR: Can't open config file: \"[^\n]*/missing.cfg\".\n$");
  EXPECT_EXIT(
      {
        stdout_to_stderr();
        read_config_file(dir_.c_str());
      },
      testing::ExitedWithCode(1), "^ERROR: Can't open config file: \"[^\n]*\".\n$");
}

TEST_F(ReadConfigFileDeathTest, SixteenthWarningEndsRun) {
  write_file(dir_ + "/c.cfg", std::string(20, '\n'));
  std::string expected = "^Processing config file:\"[^\n]*\"\n";
  for (int i = 1; i <= 16; ++i) {
    expected += "WARNING: Config line " + std::to_string(i) + " discarded.\n";
  }
  expected += "ERROR: 16 or more warnings. Check your config file.\n$";
  EXPECT_EXIT(
      {
        stdout_to_stderr();
        read_config_file((dir_ + "/c.cfg").c_str());
      },
      testing::ExitedWithCode(1), expected);
}

}  // namespace
