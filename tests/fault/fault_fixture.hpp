#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "program_test.hpp"

inline const std::string k_processing = "Processing config file:\"run.cfg\"\n";

class FaultRun : public ProgramTest {
 protected:
  // Writes config as run.cfg and runs the program on it. The address space is capped unless a
  // sanitizer, which reserves huge shadow areas, is built in.
  run_result run(const std::string& config, run_limits limits = {}) const {
    file("run.cfg", config);
    if (!sanitized_build() && limits.address_space_bytes < 0) {
      limits.address_space_bytes = std::int64_t{512} << 20;
    }
    const run_result r = run_program(dir_, program_path(), {program_path(), "run.cfg"}, limits);
    EXPECT_FALSE(r.killed) << "the run did not end in time or printed without end";
    return r;
  }
  // The folder's entries, to see that a run left nothing behind.
  std::vector<std::string> entries() const { return list_dir(dir_); }
};
