#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bounded_run.hpp"
#include "test_util.hpp"

inline const std::string k_banner = "zivavod " ZIVAVOD_VERSION "\n";
inline const std::string k_processing = "Processing config file:\"run.cfg\"\n";

// Each test runs zivavod in a fresh folder holding the example firmware as fw.bin; the folder is
// kept when the test fails.
class FaultRun : public testing::Test {
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
  // Writes config as run.cfg and runs the program on it. The address space is capped unless a
  // sanitizer, which reserves huge shadow areas, is built in.
  bounded_result run(const std::string& config, run_limits limits = {}) const {
    file("run.cfg", config);
    if (!sanitized_build() && limits.address_space_bytes < 0) {
      limits.address_space_bytes = std::int64_t{512} << 20;
    }
    const bounded_result r = run_bounded(dir_, {program_path(), "run.cfg"}, limits);
    EXPECT_FALSE(r.killed) << "the run did not end in time or printed without end";
    return r;
  }
  // The folder's entries, to see that a run left nothing behind.
  std::vector<std::string> entries() const { return list_dir(dir_); }

  std::string dir_;
};
