// Each of the four buffers failing to allocate, on the real program: a preloaded shim makes the
// chosen malloc return null. The run must end on that buffer's own line, before any word list
// is opened (the one named here does not exist) and without writing anything.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lexicon/app_image.hpp"
#include "lexicon/word_store.hpp"
#include "package/manifest.hpp"
#include "program_test.hpp"

namespace {

// Each buffer by the size of its allocation and which allocation of that size it is.
TEST_F(ProgramTest, EachBufferThatCannotBeAllocatedEndsTheRunOnItsOwnLine) {
  const struct {
    std::size_t size;
    int nth;
    std::string line;
  } cases[] = {{k_word_buffer_size, 1, "ERROR: slw buff malloc failed."},
               {k_word_buffer_size, 2, "ERROR: flw buff malloc failed."},
               {k_manifest_buffer_size, 1, "ERROR: manifest file buffer malloc failed."},
               {k_app_buffer_size, 1, "ERROR: app file buffer malloc failed."}};
  file("pkg.zip", "old package");
  file("run.cfg", "fw.bin\npkg\nWORDS\nmissing.txt\n");
  for (const auto& c : cases) {
    run_limits limits;
    limits.environment = {"LD_PRELOAD=" ZIVAVOD_MALLOC_FAIL_SHIM,
                          "ZIVAVOD_FAIL_MALLOC_SIZE=" + std::to_string(c.size),
                          "ZIVAVOD_FAIL_MALLOC_NTH=" + std::to_string(c.nth)};
    const run_result r = run_program(dir_, program_path(), {program_path(), "run.cfg"}, limits);
    EXPECT_EQ(k_banner + "Processing config file:\"run.cfg\"\n" + c.line + "\n", r.out);
    EXPECT_EQ("", r.err);
    EXPECT_EQ(1, r.status);
    EXPECT_EQ((std::vector<std::string>{"fw.bin", "pkg.zip", "run.cfg"}), list_dir(dir_));
    EXPECT_EQ("old package", read_file(path("pkg.zip")));
  }
}

// Where the folder has no unnamed files, the package is written under a temporary name from the
// start; when no stream can be made over that file (fdopen's allocation fails), the file goes
// again. strace refuses the unnamed file; the shim fails each allocation of a stdio stream's size
// in turn (472 bytes in glibc on x86-64: fopen's and fdopen's), one of which is fdopen's.
TEST_F(ProgramTest, AStreamThatCannotBeMadeOverTheTemporaryFileLeavesNoFile) {
  file("run.cfg", "fw.bin\npkg\nWORDS\n");
  const std::string preload = "LD_PRELOAD=" ZIVAVOD_MALLOC_FAIL_SHIM;
  const std::string unnamed_at =
      shell_output("cd '" + dir_ + "' && strace -qq -e trace=openat -E " + preload + " '" +
                   program_path() + "' run.cfg 2>&1 >/dev/null | grep -n O_TMPFILE | cut -d: -f1");
  ASSERT_FALSE(unnamed_at.empty());
  bool stream_failed = false;
  for (int nth = 1; nth <= 8; ++nth) {
    const std::vector<std::string> argv{
        "strace",
        "-qq",
        "-o",
        "/dev/null",
        "-e",
        "inject=openat:error=EOPNOTSUPP:when=" + unnamed_at.substr(0, unnamed_at.find('\n')),
        "-E",
        preload,
        "-E",
        "ZIVAVOD_FAIL_MALLOC_SIZE=472",
        "-E",
        "ZIVAVOD_FAIL_MALLOC_NTH=" + std::to_string(nth),
        program_path(),
        "run.cfg"};
    const run_result r = run_program(dir_, "/usr/bin/strace", argv);
    stream_failed = stream_failed || r.out.ends_with("mz_zip_writer_init_file failed!\n");
    for (const std::string& name : list_dir(dir_)) {
      EXPECT_FALSE(name.starts_with("zivavod-"))
          << name << " left when allocation " << nth << " of that size failed";
    }
  }
  EXPECT_TRUE(stream_failed) << "no allocation of that size made the stream fail";
}

}  // namespace
