#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/version.hpp"
#include "test_util.hpp"

inline const std::string k_banner = std::string("zivavod ") + k_version + "\n";

// The program under test: ZIVAVOD_CLI_PROGRAM when set (a launcher for another build), else the
// one built here.
inline std::string program_path() {
  const char* const override_path = std::getenv("ZIVAVOD_CLI_PROGRAM");
  return override_path != nullptr ? override_path : ZIVAVOD_PROGRAM;
}

// Each test runs the program in a fresh folder holding the example firmware as fw.bin; the
// folder is kept when the test fails.
class ProgramTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = make_temp_dir();
    write_file(path("fw.bin"), read_file(ZIVAVOD_EXAMPLE_FIRMWARE));
  }
  void TearDown() override {
    if (HasFailure()) {
      std::printf("kept %s\n", dir_.c_str());
    } else {
      remove_tree(dir_);
    }
  }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  void file(const std::string& name, const std::string& content) const {
    write_file(path(name), content);
  }

  std::string dir_;
};
