// End-to-end runs of the built program in a fresh folder each, comparing whole console output,
// exit status and the package, read back with Info-ZIP's unzip as an independent reader.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "lexicon/crc16.hpp"
#include "program_test.hpp"

namespace {

// True when the program is the Windows build run through a launcher (ZIVAVOD_CLI_TARGET=windows).
// Cases that differ there are checked by tests/cli/windows_test.sh instead.
bool windows_program() {
  const char* const target = std::getenv("ZIVAVOD_CLI_TARGET");
  return target != nullptr && std::string(target) == "windows";
}

// Runs the program in dir. The Windows runtime writes stdout and stderr in text mode, so each
// line arrives ended by CR LF; those are compared as the LF the program printed.
run_result launch(const std::string& dir, const std::vector<std::string>& argv,
                  bool merged = false) {
  run_limits limits;
  limits.merged = merged;
  run_result r = run_program(dir, program_path(), argv, limits);
  if (windows_program()) {
    for (std::string* text : {&r.out, &r.err}) {
      for (std::size_t at = 0; (at = text->find("\r\n", at)) != std::string::npos;) {
        text->erase(at, 1);
      }
    }
  }
  return r;
}

class Cli : public ProgramTest {
 protected:
  run_result run(const std::string& config, bool merged = false) {
    file("run.cfg", config);
    return launch(dir_, {program_path(), "run.cfg"}, merged);
  }
  std::string unzip(const std::string& args) {
    return shell_output("cd '" + dir_ + "' && unzip " + args + " 2>&1");
  }
};

const char* const k_totals_zero =
    "Total lines processed = 0\nTotal regular four letter words = 0\n"
    "Total regular six letter words = 0\nTotal dirty four letter words = 0\n"
    "Total dirty six letter words = 0\nTotal words = 0\nNow generating output app data.\n";

TEST_F(Cli, WrongArgumentCountNamesTheProgram) {
  if (windows_program()) {
    GTEST_SKIP() << "Windows takes argv[0] from the command line that wine forms";
  }
  run_result r = launch(dir_, {"zv"});
  EXPECT_EQ(k_banner + "ERROR: Wrong number of arguments. Usage \"zv config_file\"\n", r.out);
  EXPECT_EQ(1, r.status);
  r = launch(dir_, {"zv", "a", "b"});
  EXPECT_EQ(1, r.status);
  r = launch(dir_, {});
  EXPECT_EQ(k_banner + "ERROR: Wrong number of arguments. Usage \"zivavod config_file\"\n", r.out);
  EXPECT_EQ(1, r.status);
}

TEST_F(Cli, EmptyConfigReachesTheBinFileAndKeepsRunOrder) {
  run_result r = run("");
  EXPECT_EQ(k_banner + "Processing config file:\"run.cfg\"\n" + k_totals_zero, r.out);
  EXPECT_EQ("ERROR, Can't open ZORV-OLED input bin file: \"\".\n", r.err);
  EXPECT_EQ(1, r.status);
  r = run("", true);
  EXPECT_EQ(k_banner + "Processing config file:\"run.cfg\"\n" + k_totals_zero +
                "ERROR, Can't open ZORV-OLED input bin file: \"\".\n",
            r.out);
}

TEST_F(Cli, BuildsThePackageFromConfigToZip) {
  file("words.txt", "// garden words\nLamp, bird. garden\nzebra giraffe\n");
  const run_result r = run("fw.bin\npkg.zip\nWords\nwords.txt\n");
  EXPECT_EQ(k_banner +
                "Processing config file:\"run.cfg\"\n"
                "Processed \"words.txt\", 3 total words were processed from text file.\n"
                "Total lines processed = 3\nTotal regular four letter words = 1\n"
                "Total regular six letter words = 1\nTotal dirty four letter words = 1\n"
                "Total dirty six letter words = 0\nTotal words = 3\n"
                "Now generating output app data.\n"
                "43008 bytes were read from input bin file into app buffer.\n"
                "WARNING: Lexicon name was changed from \"Words \" to \"WORDS \".\n"
                "Lexicon \"WORDS \" output to app buffer \"pkg.app\".\n",
            r.out.substr(0, r.out.find("43084 (")));
  EXPECT_EQ(0, r.status);
  EXPECT_EQ("", r.err);

  const std::string app = unzip("-p pkg.zip pkg.app");
  ASSERT_EQ(43084u, app.size());
  const std::uint16_t crc =
      crc16_ccitt({reinterpret_cast<const std::uint8_t*>(app.data()), app.size()});
  char tail[256];
  std::snprintf(tail, sizeof tail,
                "43084 (0xA84C) bytes were written to output app buffer with a generated crc16 of "
                "%d (0x%04X).\nCreating final zip output from temp data.\n"
                "Created \"pkg.zip\" OTA DFU package.\n",
                crc, crc);
  EXPECT_EQ(tail, r.out.substr(r.out.find("43084 (")));
  EXPECT_EQ(read_file(path("fw.bin")).substr(0, 43008), app.substr(0, 43008));
  EXPECT_EQ(std::string("\x30\x22\x32\x34\x58\x18\xF1\x0A\x22\x30\xFF\xFF", 12), app.substr(43072));

  EXPECT_NE(std::string::npos, unzip("-t pkg.zip").find("No errors detected"));
  const std::string listing = shell_output("cd '" + dir_ + "' && zipinfo -1 pkg.zip");
  EXPECT_EQ("pkg.dat\nmanifest.json\npkg.app\n", listing);
  EXPECT_EQ(3u, [&] {
    const std::string v = shell_output("cd '" + dir_ + "' && zipinfo -v pkg.zip");
    std::size_t n = 0;
    for (std::size_t at = 0; (at = v.find("deflated\n", at)) != std::string::npos; ++at) {
      ++n;
    }
    return n;
  }());
  const std::string dat = unzip("-p pkg.zip pkg.dat");
  EXPECT_EQ(std::string("\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x01\x00\xFE\xFF", 12) +
                static_cast<char>(crc & 0xFF) + static_cast<char>(crc >> 8),
            dat);
  const std::string manifest = unzip("-p pkg.zip manifest.json");
  EXPECT_NE(std::string::npos, manifest.find("\"firmware_crc16\": " + std::to_string(crc) + ","));
  EXPECT_NE(std::string::npos, manifest.find("\"bin_file\": \"pkg.app\",\r\n"));
}

TEST_F(Cli, OldPackageIsAnnouncedAndReplaced) {
  file("pkg.zip", "old package");
  const run_result r = run("fw.bin\npkg\n");
  EXPECT_NE(std::string::npos, r.out.find("Creating final zip output from temp data.\n"
                                          "Deleting existing \"pkg.zip\" file.\n"
                                          "Created \"pkg.zip\" OTA DFU package.\n"));
  EXPECT_EQ(0, r.status);
  EXPECT_NE(std::string::npos, unzip("-t pkg.zip").find("No errors detected"));
}

TEST_F(Cli, NamesBeyondAsciiAndQuotesStayReadable) {
  EXPECT_EQ(0, run("fw.bin\ngr\xc3\xbc\xc3\x9f"
                   "e\nWORDS\n")
                   .status);
  EXPECT_EQ(
      "gr\xc3\xbc\xc3\x9f"
      "e.dat\nmanifest.json\ngr\xc3\xbc\xc3\x9f"
      "e.app\n",
      shell_output("cd '" + dir_ + "' && LC_ALL=C.UTF-8 zipinfo -1 gr*.zip"));
  if (windows_program()) {
    return;  // Windows refuses a double quote in file names
  }
  EXPECT_EQ(0, run("fw.bin\nsay\"hi\nWORDS\n").status);
  EXPECT_NE(std::string::npos,
            unzip("-p 'say\"hi.zip' manifest.json").find("\"bin_file\": \"say\\\"hi.app\",\r\n"));
}

TEST_F(Cli, PackagingFailuresLeaveNoArchive) {
  file("pkg.zip", "old package");
  run_result r = run("fw.bin\nmissing/pkg\n");
  EXPECT_NE(std::string::npos, r.out.find("\nmz_zip_writer_init_file failed!\n"));
  EXPECT_EQ(1, r.status);

  file("pkg.zip", "old package");
  r = run("fw.bin\npkg\n" + std::string(16, '\n'));  // fails in the configuration: nothing touched
  EXPECT_EQ(1, r.status);
  EXPECT_TRUE(read_file(path("pkg.zip")) == "old package");
}

TEST_F(Cli, WordListSizeLimitHoldsForEveryKindOfFile) {
  file("exact.txt", std::string(256000, 'a'));
  file("over.txt", std::string(256001, 'a'));
  run_result r = run("fw.bin\npkg\nWORDS\nexact.txt\n");
  EXPECT_EQ(0, r.status);
  r = run("fw.bin\npkg\nWORDS\nover.txt\n");
  EXPECT_NE(
      std::string::npos,
      r.out.find("ERROR: Text file \"over.txt\" too large (256001 bytes, limit 256000 bytes).\n"));
  EXPECT_EQ(1, r.status);
  r = run("fw.bin\npkg\nWORDS\n/dev/zero\n");
  EXPECT_NE(
      std::string::npos,
      r.out.find("ERROR: Text file \"/dev/zero\" too large (256001 bytes, limit 256000 bytes).\n"));
  EXPECT_EQ(1, r.status);
}

TEST_F(Cli, UnreadableWordListsEndTheRun) {
  mkdir(path("folder").c_str(), 0700);
  run_result r = run("fw.bin\npkg\nWORDS\nfolder\n");
  EXPECT_NE(std::string::npos, r.out.find("ERROR: Can't open \"folder\" for processing.\n"));
  EXPECT_EQ(1, r.status);
  r = run("fw.bin\npkg\nWORDS\n  \n");
  EXPECT_NE(std::string::npos, r.out.find("ERROR: Can't open \"  \" for processing.\n"));
  EXPECT_FALSE(file_exists(path("pkg.zip")));
}

TEST_F(Cli, TooManyWordsFailTheSizeCheck) {
  std::string words;
  for (int i = 0; i < 25841; ++i) {
    words += "garden\n";
  }
  file("words.txt", words);
  const run_result r = run("fw.bin\npkg\nWORDS\nwords.txt\n");
  EXPECT_NE(std::string::npos, r.out.find("ERROR: The generated file is too large to fit in ZORV.\n"
                                          "Max file size is 146432 bytes.\n"));
  EXPECT_EQ(1, r.status);
}

}  // namespace
