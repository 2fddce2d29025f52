// Representative runs under valgrind's memcheck: a package written, a package failing half way,
// and runs ended early by bad input. None may show a memory error or lose a block of its own;
// the four buffers stay reachable until the process ends, by design, and are not reported.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "fault_fixture.hpp"

namespace {

constexpr int k_valgrind_error_status = 99;

std::string find_valgrind() {
  const char* const path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  for (std::size_t start = 0; start <= dirs.size();) {
    const std::size_t end = std::min(dirs.find(':', start), dirs.size());
    const std::string candidate = dirs.substr(start, end - start) + "/valgrind";
    if (access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
    start = end + 1;
  }
  return "";
}

class MemoryCheck : public FaultRun {
 protected:
  void SetUp() override {
    FaultRun::SetUp();
    if (sanitized_build()) {
      GTEST_SKIP() << "a sanitizer build cannot run under valgrind";
    }
    valgrind_ = find_valgrind();
    if (valgrind_.empty()) {
      if (std::getenv("ZIVAVOD_REQUIRE_VALGRIND") != nullptr) {
        FAIL() << "valgrind is not installed";
      }
      GTEST_SKIP() << "valgrind is not installed";
    }
    file("words.txt", "// words\nLamp, bird. garden\nzebra giraffe\n");
  }
  // Runs the program on config under memcheck; valgrind prints nothing unless it finds an error
  // or a lost block, and then ends with k_valgrind_error_status instead of the program's status.
  run_result run_checked(const std::string& config, run_limits limits = {}) const {
    file("run.cfg", config);
    limits.timeout_seconds = 300;
    const run_result r = run_program(
        dir_, valgrind_,
        {valgrind_, "--tool=memcheck", "--quiet", "--vgdb=no", "--leak-check=full",
         "--show-leak-kinds=definite,indirect", "--errors-for-leak-kinds=definite,indirect",
         "--error-exitcode=" + std::to_string(k_valgrind_error_status), program_path(), "run.cfg"},
        limits);
    EXPECT_FALSE(r.killed);
    return r;
  }

  std::string valgrind_;
};

TEST_F(MemoryCheck, PackageWritten) {
  const run_result r = run_checked("fw.bin\npkg\nWords\nwords.txt\nwords.txt\n");
  EXPECT_TRUE(r.out.ends_with("Created \"pkg.zip\" OTA DFU package.\n")) << r.out;
  EXPECT_EQ("", r.err);
  EXPECT_EQ(0, r.status);
}

TEST_F(MemoryCheck, PackagingFailsHalfWay) {
  // The disk "fills up" inside the image entry, after the archive and two entries were written.
  file("pkg.zip", "old package");
  run_limits limits;
  limits.file_size_bytes = 4096;
  const run_result r = run_checked("fw.bin\npkg\nWORDS\nwords.txt\n", limits);
  EXPECT_TRUE(
      r.out.ends_with("Deleting existing \"pkg.zip\" file.\n"
                      "mz_zip add zorv app file failed!\n"))
      << r.out;
  EXPECT_EQ("", r.err);
  EXPECT_EQ(1, r.status);
  EXPECT_FALSE(file_exists(path("pkg.zip")));
}

TEST_F(MemoryCheck, RunsEndedByBadInput) {
  // A word list too large, after one was read: the process ends with that file still open.
  file("large.txt", std::string(256001, 'a'));
  run_result r = run_checked("fw.bin\npkg\nWORDS\nwords.txt\nlarge.txt\n");
  EXPECT_TRUE(r.out.ends_with(
      "ERROR: Text file \"large.txt\" too large (256001 bytes, limit 256000 bytes).\n"))
      << r.out;
  EXPECT_EQ("", r.err);
  EXPECT_EQ(1, r.status);

  // An input bin file too short: the line goes to standard error.
  file("short.bin", std::string(43007, 'b'));
  r = run_checked("short.bin\npkg\nWORDS\nwords.txt\n");
  EXPECT_EQ("ERROR: Input bin file was too short.\n", r.err);
  EXPECT_EQ(1, r.status);
}

}  // namespace
