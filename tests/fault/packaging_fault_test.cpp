// Failures while the package is written: a file-size limit makes the disk "full" at a chosen
// byte, so each packaging step fails in turn, and a missing folder keeps the archive from being
// created. Every failing run must name the step, end with status 1, and leave no file at the zip
// name, whether or not an old package was there before.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fault_fixture.hpp"

namespace {

const std::string k_config = "fw.bin\npkg\nWORDS\nwords.txt\n";
// Everything a run on k_config prints before its packaging step can fail; the image, and so its
// CRC, does not depend on the package name.
std::string until_packaging(const std::string& package = "pkg") {
  return k_banner + k_processing +
         "Processed \"words.txt\", 3 total words were processed from text file.\n"
         "Total lines processed = 1\nTotal regular four letter words = 2\n"
         "Total regular six letter words = 1\nTotal dirty four letter words = 0\n"
         "Total dirty six letter words = 0\nTotal words = 3\n"
         "Now generating output app data.\n"
         "43008 bytes were read from input bin file into app buffer.\n"
         "Lexicon \"WORDS \" output to app buffer \"" +
         package +
         ".app\".\n"
         "43084 (0xA84C) bytes were written to output app buffer with a generated crc16 of 45781 "
         "(0xB2D5).\n"
         "Creating final zip output from temp data.\n";
}
const std::string k_deleting = "Deleting existing \"pkg.zip\" file.\n";
const std::string k_old_package = "old package, must not survive a failed run";

std::uint32_t le(const std::string& data, std::size_t at, int width) {
  std::uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) {
    value = (value << 8) | static_cast<std::uint8_t>(data.at(at + static_cast<std::size_t>(i)));
  }
  return value;
}

// Where each part of a finished archive starts: the three entries' local headers, then the
// central directory; `end` is the archive's size.
struct archive_layout {
  std::vector<std::uint32_t> entry_offsets;
  std::vector<std::string> entry_names;
  std::uint32_t central_directory = 0;
  std::uint32_t end = 0;
};

archive_layout read_layout(const std::string& zip) {
  archive_layout layout;
  const std::size_t eocd = zip.rfind(std::string("PK\x05\x06", 4));
  EXPECT_NE(std::string::npos, eocd);
  if (eocd == std::string::npos) {
    return layout;
  }
  const std::uint32_t count = le(zip, eocd + 10, 2);
  layout.central_directory = le(zip, eocd + 16, 4);
  layout.end = static_cast<std::uint32_t>(zip.size());
  std::size_t at = layout.central_directory;
  for (std::uint32_t i = 0; i < count; ++i) {
    EXPECT_EQ(0x02014b50u, le(zip, at, 4));
    const std::uint32_t name_length = le(zip, at + 28, 2);
    layout.entry_offsets.push_back(le(zip, at + 42, 4));
    layout.entry_names.push_back(zip.substr(at + 46, name_length));
    at += 46 + name_length + le(zip, at + 30, 2) + le(zip, at + 32, 2);
  }
  return layout;
}

class PackagingFault : public FaultRun {
 protected:
  void SetUp() override {
    FaultRun::SetUp();
    file("words.txt", "lamp bird garden\n");
  }
};

TEST_F(PackagingFault, WriteFailureInEachStepNamesThatStepAndLeavesNoArchive) {
  // A run without a limit shows where each step's bytes lie in the archive.
  const run_result reference = run(k_config);
  ASSERT_EQ(until_packaging() + "Created \"pkg.zip\" OTA DFU package.\n", reference.out);
  ASSERT_EQ(0, reference.status);
  const archive_layout layout = read_layout(read_file(path("pkg.zip")));
  ASSERT_EQ((std::vector<std::string>{"pkg.dat", "manifest.json", "pkg.app"}), layout.entry_names);
  ASSERT_EQ(0u, layout.entry_offsets[0]);
  ASSERT_TRUE(remove(path("pkg.zip").c_str()) == 0);

  struct step {
    std::uint32_t begin;
    std::uint32_t end;
    std::string line;
  };
  const std::vector<step> steps = {
      {0, layout.entry_offsets[1], "mz_zip add .dat failed failed!\n"},
      {layout.entry_offsets[1], layout.entry_offsets[2], "mz_zip add manifest failed!\n"},
      {layout.entry_offsets[2], layout.central_directory, "mz_zip add zorv app file failed!\n"},
      {layout.central_directory, layout.end, "mz_zip_writer_finalize_archive failed!\n"}};
  int run_number = 0;
  for (const step& s : steps) {
    ASSERT_LT(s.begin + 1, s.end);
    // The limit is the number of bytes the file may hold, so the write of byte `limit` is the
    // first to fail: it lies in this step's part of the archive, at its edges or in its middle.
    for (const std::uint32_t limit : {s.begin, s.begin + 1, (s.begin + s.end) / 2, s.end - 1}) {
      SCOPED_TRACE("file size limit " + std::to_string(limit));
      const bool old_package = ++run_number % 2 == 0;
      if (old_package) {
        file("pkg.zip", k_old_package);
      }
      run_limits limits;
      limits.file_size_bytes = limit;
      const run_result r = run(k_config, limits);
      EXPECT_EQ(until_packaging() + (old_package ? k_deleting : "") + s.line, r.out);
      EXPECT_EQ("", r.err);
      EXPECT_EQ(1, r.status);
      EXPECT_EQ((std::vector<std::string>{"fw.bin", "run.cfg", "words.txt"}), entries());
    }
  }

  // Exactly the archive's size is enough: the sizes above were the real ones.
  run_limits limits;
  limits.file_size_bytes = layout.end;
  const run_result r = run(k_config, limits);
  EXPECT_EQ(until_packaging() + "Created \"pkg.zip\" OTA DFU package.\n", r.out);
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(layout.end, read_file(path("pkg.zip")).size());
}

TEST_F(PackagingFault, ArchiveThatCannotBeCreated) {
  // A folder in the package name that does not exist.
  run_result r = run("fw.bin\nmissing/pkg\nWORDS\nwords.txt\n");
  EXPECT_EQ(until_packaging("missing/pkg") + "mz_zip_writer_init_file failed!\n", r.out);
  EXPECT_EQ("", r.err);
  EXPECT_EQ(1, r.status);
  EXPECT_EQ((std::vector<std::string>{"fw.bin", "run.cfg", "words.txt"}), entries());

  // An old "package" that is a folder with content: announced, cannot be removed, and the new
  // archive cannot take its place; the folder and its content stay as they were.
  ASSERT_EQ(0, mkdir(path("pkg.zip").c_str(), 0700));
  file("pkg.zip/keep.txt", "keep");
  r = run(k_config);
  EXPECT_EQ(until_packaging() + k_deleting + "mz_zip_writer_init_file failed!\n", r.out);
  EXPECT_EQ("", r.err);
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("keep", read_file(path("pkg.zip/keep.txt")));
}

TEST_F(PackagingFault, RefusedEntryNameFailsTheRunBeforeTheOldPackageIsRemoved) {
  file("back\\slash.zip", k_old_package);
  const run_result r = run("fw.bin\nback\\slash\nWORDS\nwords.txt\n");
  EXPECT_EQ(until_packaging("back\\slash") + "mz_zip add .dat failed failed!\n", r.out);
  EXPECT_EQ(1, r.status);
  EXPECT_EQ((std::vector<std::string>{"back\\slash.zip", "fw.bin", "run.cfg", "words.txt"}),
            entries());
  EXPECT_EQ(k_old_package, read_file(path("back\\slash.zip")));
}

TEST_F(PackagingFault, OldPackageIsLeftAloneWhenTheRunFailsBeforePackaging) {
  file("pkg.zip", k_old_package);
  const run_result r = run("fw.bin\npkg\nWORDS\nwords.txt\nmissing.txt\n");
  EXPECT_TRUE(r.out.ends_with("ERROR: Can't open \"missing.txt\" for processing.\n")) << r.out;
  EXPECT_EQ(1, r.status);
  EXPECT_EQ(k_old_package, read_file(path("pkg.zip")));
}

}  // namespace
