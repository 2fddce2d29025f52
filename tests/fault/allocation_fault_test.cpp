// Each of the four buffers failing to allocate, on the real program: a preloaded shim makes the
// chosen malloc return null. The run must end on that buffer's own line, before any word list
// is opened (the one named here does not exist) and without writing anything.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "fault_fixture.hpp"
#include "lexicon/app_image.hpp"
#include "lexicon/word_store.hpp"
#include "package/manifest.hpp"

namespace {

struct allocation_case {
  const char* buffer;
  std::size_t size;
  int nth;  // which allocation of that size is the buffer's
  const char* line;
};

// Names the case in test listings by its buffer.
void PrintTo(const allocation_case& c, std::ostream* out) { *out << c.buffer; }

class AllocationFault : public FaultRun, public testing::WithParamInterface<allocation_case> {};

TEST_P(AllocationFault, EndsOnTheBuffersOwnLine) {
  if (sanitized_build()) {
    GTEST_SKIP() << "a preloaded malloc cannot stand in for the sanitizer's allocator";
  }
  const allocation_case& c = GetParam();
  file("pkg.zip", "old package");
  run_limits limits;
  limits.environment = {"LD_PRELOAD=" ZIVAVOD_MALLOC_FAIL_SHIM,
                        "ZIVAVOD_FAIL_MALLOC_SIZE=" + std::to_string(c.size),
                        "ZIVAVOD_FAIL_MALLOC_NTH=" + std::to_string(c.nth)};
  const run_result r = run("fw.bin\npkg\nWORDS\nmissing.txt\n", limits);
  EXPECT_EQ(k_banner + k_processing + c.line + "\n", r.out);
  EXPECT_EQ("", r.err);
  EXPECT_EQ(1, r.status);
  EXPECT_EQ((std::vector<std::string>{"fw.bin", "pkg.zip", "run.cfg"}), entries());
  EXPECT_EQ("old package", read_file(path("pkg.zip")));
}

INSTANTIATE_TEST_SUITE_P(
    Buffers, AllocationFault,
    testing::Values(allocation_case{"slw", k_word_buffer_size, 1, "ERROR: slw buff malloc failed."},
                    allocation_case{"flw", k_word_buffer_size, 2, "ERROR: flw buff malloc failed."},
                    allocation_case{"manifest", k_manifest_buffer_size, 1,
                                    "ERROR: manifest file buffer malloc failed."},
                    allocation_case{"app", k_app_buffer_size, 1,
                                    "ERROR: app file buffer malloc failed."}),
    [](const testing::TestParamInfo<allocation_case>& p) { return p.param.buffer; });

TEST_F(FaultRun, ShimLetsEveryOtherAllocationThrough) {
  if (sanitized_build()) {
    GTEST_SKIP() << "a preloaded malloc cannot stand in for the sanitizer's allocator";
  }
  // Watching the app buffer's size but failing only a later allocation of it changes nothing:
  // the shim itself does not disturb a run.
  file("words.txt", "lamp\n");
  run_limits limits;
  limits.environment = {"LD_PRELOAD=" ZIVAVOD_MALLOC_FAIL_SHIM,
                        "ZIVAVOD_FAIL_MALLOC_SIZE=" + std::to_string(k_app_buffer_size),
                        "ZIVAVOD_FAIL_MALLOC_NTH=2"};
  const run_result r = run("fw.bin\npkg\nWORDS\nwords.txt\n", limits);
  EXPECT_TRUE(r.out.ends_with("Created \"pkg.zip\" OTA DFU package.\n")) << r.out;
  EXPECT_EQ(0, r.status);
}

}  // namespace
