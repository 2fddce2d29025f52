// End-to-end runs on the user's own files: no run may destroy an input or an old package it was
// not going to replace, nor leave a broken package at the zip file name, whatever stops it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "program_test.hpp"

namespace {

// The Windows build run through a launcher (see cli_test.cpp); its lines end CR LF.
bool windows_program() {
  const char* const target = std::getenv("ZIVAVOD_CLI_TARGET");
  return target != nullptr && std::string(target) == "windows";
}

const std::string k_packaging = "Creating final zip output from temp data.\n";

class DataSafety : public ProgramTest {
 protected:
  run_result run(const std::string& config, const run_limits& limits = {},
                 const std::string& config_name = "run.cfg") {
    file(config_name, config);
    run_result r = run_program(dir_, program_path(), {program_path(), config_name}, limits);
    if (windows_program()) {
      std::erase(r.out, '\r');
    }
    return r;
  }
  bool intact_package(const std::string& name) {
    return shell_output("cd '" + dir_ + "' && unzip -tq '" + name + "' 2>&1")
        .starts_with("No errors detected");
  }
};

TEST_F(DataSafety, AnInputAtTheZipFileNameSurvivesByteForByte) {
  file("pkg.zip", "lamp bird\n");
  mkdir(path("out").c_str(), 0700);
  file("out/fw.zip", read_file(path("fw.bin")));
  symlink("pkg.zip", path("words.lnk").c_str());
  struct input_case {
    std::string config_name, config, zip;
  };
  const std::vector<input_case> cases = {
      {"job.zip", "fw.bin\njob\nWORDS\n", "job.zip"},              // the configuration file
      {"run.cfg", "fw.bin\npkg\nWORDS\n./pkg.zip\n", "pkg.zip"},   // a word list, by ./
      {"run.cfg", "out//fw.zip\nout/fw\nWORDS\n", "out/fw.zip"},   // the firmware, by a folder
      {"run.cfg", "fw.bin\npkg\nWORDS\nwords.lnk\n", "pkg.zip"}};  // a word list, by a link
  for (const input_case& c : cases) {
    SCOPED_TRACE(c.config);
    if (windows_program() && c.config.ends_with("lnk\n")) {
      continue;  // a Unix link is no link to Windows
    }
    file(c.config_name, c.config);
    const std::string before = read_file(path(c.zip));
    const std::vector<std::string> entries = list_dir(dir_);
    const run_result r = run(c.config, {}, c.config_name);
    EXPECT_TRUE(r.out.ends_with(k_packaging + "ERROR: Package \"" + c.zip +
                                "\" is one of the input files.\n"))
        << r.out;
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(before, read_file(path(c.zip)));
    EXPECT_EQ(entries, list_dir(dir_));
  }
}

TEST_F(DataSafety, RefusedAndNonUtf8NamesLeaveTheOldPackageUntouched) {
  std::vector<std::string> names = {dir_ + "/abs",         "a:b",          "back\\slash",
                                    "W\xf6rter",           "over\xc0\xaf", "sur\xed\xa0\x80",
                                    "big\xf4\x90\x80\x80", "cut\xc3"};
  if (windows_program()) {
    names.insert(names.end(), {"nul", "CoM7", "lpt1 "});  // device names
  }
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const std::string old_zip = name.starts_with('/') ? name + ".zip" : path(name + ".zip");
    write_file(old_zip, "old package");
    file("run.cfg", "fw.bin\n" + name + "\nWORDS\n");
    const std::vector<std::string> entries = list_dir(dir_);
    const run_result r = run("fw.bin\n" + name + "\nWORDS\n");
    EXPECT_TRUE(r.out.ends_with(k_packaging + "mz_zip add .dat failed failed!\n")) << r.out;
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(entries, list_dir(dir_));
    if (!windows_program()) {
      EXPECT_EQ("old package", read_file(old_zip));
    }
  }
}

TEST_F(DataSafety, ByteOrderMarks) {
  const std::string bom = "\xEF\xBB\xBF";
  // Line 1 holds 253 characters behind the mark; a word list's mark starts no token or comment.
  const std::string firmware(249, 'f');
  file(firmware + ".bin", read_file(path("fw.bin")));
  file("a.txt", bom + "// note garden\nlamp\n");
  file("b.txt", bom + "cat");
  file("c.txt", bom);
  run_result r = run(bom + firmware + ".bin\npkg\nWORDS\na.txt\nb.txt\nc.txt\n");
  EXPECT_EQ(k_banner +
                "Processing config file:\"run.cfg\"\n"
                "Processed \"a.txt\", 1 total words were processed from text file.\n"
                "Processed \"b.txt\", 0 total words were processed from text file.\n"
                "Processed \"c.txt\", 0 total words were processed from text file.\n"
                "Total lines processed = 3\nTotal regular four letter words = 1\n"
                "Total regular six letter words = 0\n",
            r.out.substr(0, r.out.find("Total dirty four")));
  EXPECT_EQ(0, r.status);
  // A configuration file in UTF-16 cannot be read as one.
  for (const std::string mark : {"\xFF\xFE", "\xFE\xFF"}) {
    r = run(mark + std::string("f\0w\0.\0b\0i\0n\0\n\0", 14));
    EXPECT_EQ(k_banner + "ERROR: Can't open config file: \"run.cfg\".\n", r.out);
    EXPECT_EQ(1, r.status);
  }
}

// Each limit lets the package file grow to that many bytes; the write that would pass it kills
// the run. Powers of two from either end of the package hit every write the run makes.
TEST_F(DataSafety, ARunKilledAtAnyWriteLeavesNoPartialPackage) {
  if (windows_program()) {
    GTEST_SKIP() << "the file size limit and its signal are the launcher's, not the program's";
  }
  const std::string config = "fw.bin\npkg\nWORDS\n";
  ASSERT_EQ(0, run(config).status);
  const auto size = static_cast<std::int64_t>(read_file(path("pkg.zip")).size());
  std::vector<std::int64_t> limits = {0, size};
  for (std::int64_t step = 1; step < size; step *= 2) {
    limits.insert(limits.end(), {step, size - step});
  }
  for (const std::int64_t limit : limits) {
    SCOPED_TRACE("file size limit " + std::to_string(limit));
    run_limits fence;
    fence.file_size_bytes = limit;
    fence.file_size_kills = true;
    const run_result r = run(config, fence);
    EXPECT_EQ(limit < size ? 128 + SIGXFSZ : 0, r.status);
    EXPECT_TRUE(!file_exists(path("pkg.zip")) || intact_package("pkg.zip"));
    // What a killed run leaves is its temporary file, named after the package.
    for (const std::string& name : list_dir(dir_)) {
      if (name.starts_with("pkg.zip.")) {
        EXPECT_EQ(14u, name.size()) << name;
        (void)std::remove(path(name).c_str());
      }
    }
    EXPECT_TRUE(file_exists(path("pkg.zip")) || limit < size);
  }

  // Runs on one name at once each write a file of their own: all succeed, one package stays.
  std::vector<std::thread> runs;
  runs.reserve(8);
  std::vector<int> statuses(8, -1);
  for (int& status : statuses) {
    runs.emplace_back([&] {
      status = run_program(dir_, program_path(), {"zv", "run.cfg"}).status;
    });
  }
  for (std::thread& t : runs) {
    t.join();
  }
  EXPECT_EQ(std::vector<int>(8, 0), statuses);
  EXPECT_EQ((std::vector<std::string>{"fw.bin", "pkg.zip", "run.cfg"}), list_dir(dir_));
  EXPECT_TRUE(intact_package("pkg.zip"));
}

}  // namespace
