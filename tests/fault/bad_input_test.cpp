// Input that is not what the program expects: word lists and configuration files of binary
// garbage, odd bytes, endless lines, special files and links. Every run must end within the time
// and memory fence of run() with its specified line and status. Word counts below follow from
// the reading rules: lines end at LF, CR LF or a lone CR; a zero byte ends the text of its line;
// tokens split at space, comma and full stop; only tokens of 4 or 6 bytes are words.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "fault_fixture.hpp"

namespace {

using namespace std::string_literals;

const std::string k_config_head = "fw.bin\npkg\nWORDS\n";

std::string totals(int lines, int regular_four, int regular_six, int dirty_four, int dirty_six) {
  return "Total lines processed = " + std::to_string(lines) +
         "\nTotal regular four letter words = " + std::to_string(regular_four) +
         "\nTotal regular six letter words = " + std::to_string(regular_six) +
         "\nTotal dirty four letter words = " + std::to_string(dirty_four) +
         "\nTotal dirty six letter words = " + std::to_string(dirty_six) +
         "\nTotal words = " + std::to_string(regular_four + regular_six + dirty_four + dirty_six) +
         "\nNow generating output app data.\n43008 bytes were read from input bin file into app "
         "buffer.\n";
}

std::string processed(const std::string& name, int words) {
  return "Processed \"" + name + "\", " + std::to_string(words) +
         " total words were processed from text file.\n";
}

std::string too_large(const std::string& name, const std::string& size) {
  return "ERROR: Text file \"" + name + "\" too large (" + size + " bytes, limit 256000 bytes).\n";
}

std::string cant_open(const std::string& name) {
  return "ERROR: Can't open \"" + name + "\" for processing.\n";
}

const std::string k_created = "Created \"pkg.zip\" OTA DFU package.\n";

// Every byte value in order, count times over.
std::string all_bytes(int count) {
  std::string text;
  for (int i = 0; i < count * 256; ++i) {
    text += static_cast<char>(i & 0xFF);
  }
  return text;
}

// Bytes of a fixed xorshift sequence: garbage, but the same on every run.
std::string garbage(std::size_t size, std::uint32_t seed) {
  std::string text;
  for (std::size_t i = 0; i < size; ++i) {
    seed ^= seed << 13;
    seed ^= seed >> 17;
    seed ^= seed << 5;
    text += static_cast<char>(seed & 0xFF);
  }
  return text;
}

std::string utf16(const std::string& ascii, bool big_endian) {
  std::string text = big_endian ? "\xFE\xFF" : "\xFF\xFE";
  for (const char c : ascii) {
    text += big_endian ? std::string(1, '\0') + c : std::string(1, c) + '\0';
  }
  return text;
}

int sum_of_counts(const std::string& out) {
  int sum = 0;
  for (std::size_t at = 0; (at = out.find("Processed \"", at)) != std::string::npos; ++at) {
    const std::size_t count = out.find("\", ", at) + 3;
    sum += std::stoi(out.substr(count));
  }
  return sum;
}

int number_after(const std::string& out, const std::string& label) {
  const std::size_t at = out.find(label);
  return at == std::string::npos ? -1 : std::stoi(out.substr(at + label.size()));
}

// Feeds a FIFO from a child process, once or without end, as soon as a reader opens it.
class fifo_writer {
 public:
  fifo_writer(const std::string& fifo, const std::string& data, bool endless) {
    pid_ = fork();
    if (pid_ != 0) {
      return;
    }
    signal(SIGPIPE, SIG_DFL);  // the reader going away ends an endless writer
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int fd = -1;
    // Opening without blocking fails until a reader is there; so a run that never opens the
    // FIFO cannot leave this writer waiting for ever.
    while ((fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK)) < 0) {
      if (errno != ENXIO || std::chrono::steady_clock::now() > deadline) {
        _exit(1);
      }
      usleep(1000);
    }
    (void)fcntl(fd, F_SETFL, 0);
    do {
      for (std::size_t at = 0; at < data.size();) {
        const ssize_t n = write(fd, data.data() + at, data.size() - at);
        if (n <= 0) {
          _exit(1);
        }
        at += static_cast<std::size_t>(n);
      }
    } while (endless);
    _exit(0);
  }
  fifo_writer(const fifo_writer&) = delete;
  fifo_writer& operator=(const fifo_writer&) = delete;
  ~fifo_writer() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

 private:
  pid_t pid_ = -1;
};

class BadInput : public FaultRun {};

TEST_F(BadInput, WordListsOfBytesThatAreNotText) {
  // Every byte value four times: zero bytes cut their lines, so no token of 4 or 6 bytes is
  // left; lines end at each LF and each lone CR, and the tail counts as a line of its own.
  file("garbage.bin", all_bytes(4));
  // A zero byte ends the text of its line; the next line is read again.
  file("zero.txt", "lamp\0bird garden\n\0fish\nwolf\0\n"s);
  // 0x1A is an ordinary byte: no end of file, and four of them are a word.
  file("sub.txt", "lamp\n\x1A\nbird \x1A\x1A\x1A\x1A fish\x1A\n");
  file("empty.txt", "");
  run_result r = run(k_config_head + "garbage.bin\nzero.txt\nsub.txt\nempty.txt\n");
  EXPECT_EQ(k_banner + k_processing + processed("garbage.bin", 0) + processed("zero.txt", 2) +
                processed("sub.txt", 3) + processed("empty.txt", 0) +
                totals(9 + 3 + 3, 5, 0, 0, 0) +
                "Lexicon \"WORDS \" output to app buffer \"pkg.app\".\n",
            r.out.substr(0, r.out.find("43088 (0xA850) bytes were written")));
  EXPECT_TRUE(r.out.ends_with(k_created)) << r.out;
  EXPECT_EQ("", r.err);
  EXPECT_EQ(0, r.status);
  // UTF-16, told by its byte order mark, is refused: read as bytes it would give no words.
  for (const bool big_endian : {false, true}) {
    file("utf16.txt", utf16("lamp bird\ngarden\n", big_endian));
    r = run(k_config_head + "empty.txt\nutf16.txt\n");
    EXPECT_EQ(k_banner + k_processing + processed("empty.txt", 0) + cant_open("utf16.txt"), r.out);
    EXPECT_EQ(1, r.status);
  }
}

TEST_F(BadInput, RandomGarbageWordListsGiveAConsistentPackage) {
  for (std::uint32_t seed = 1; seed <= 8; ++seed) {
    file("g" + std::to_string(seed), garbage(seed * 30000, seed * 2654435761u));
  }
  const run_result r = run(k_config_head + "g1\ng2\ng3\ng4\ng5\ng6\ng7\ng8\n");
  ASSERT_EQ(0, r.status) << r.out << r.err;
  EXPECT_EQ("", r.err);
  EXPECT_TRUE(r.out.ends_with(k_created)) << r.out;
  // What the files gave adds up, and the image holds exactly the words that were counted.
  const int total = number_after(r.out, "Total words = ");
  EXPECT_EQ(sum_of_counts(r.out), total);
  const int six = number_after(r.out, "Total regular six letter words = ") +
                  number_after(r.out, "Total dirty six letter words = ");
  const int four = total - six;
  const int length = (43072 + 4 * six + 3 * four + 3) / 4 * 4;
  EXPECT_NE(std::string::npos, r.out.find("\n" + std::to_string(length) + " (0x")) << r.out;
  const std::string app = shell_output("cd '" + dir_ + "' && unzip -p pkg.zip pkg.app");
  EXPECT_EQ(static_cast<std::size_t>(length), app.size());
  EXPECT_NE(std::string::npos,
            shell_output("cd '" + dir_ + "' && unzip -t pkg.zip").find("No errors detected"));
}

TEST_F(BadInput, LongTokensAndEndlessLines) {
  // Tokens of thousands of bytes are skipped whole; a word right behind a long run of bytes is
  // still one word.
  file("long.txt", "lamp " + std::string(5000, 'x') + " bird\n" + std::string(3000, 'y') +
                       "garden\n" + std::string(250, 'x') + " garden\n");
  // One line of exactly 256000 bytes, without a line end.
  file("endless.txt", std::string(256000 - 5, 'x') + " lamp");
  const run_result r = run(k_config_head + "long.txt\nendless.txt\n");
  EXPECT_EQ(k_banner + k_processing + processed("long.txt", 3) + processed("endless.txt", 1) +
                totals(4, 3, 1, 0, 0) + "Lexicon \"WORDS \" output to app buffer \"pkg.app\".\n",
            r.out.substr(0, r.out.find("43088 (0xA850) bytes were written")));
  EXPECT_TRUE(r.out.ends_with(k_created)) << r.out;
  EXPECT_EQ(0, r.status);
}

TEST_F(BadInput, FifoFedByAWriterIsReadLikeAFile) {
  ASSERT_EQ(0, mkfifo(path("fifo").c_str(), 0600));
  const fifo_writer writer(path("fifo"), "lamp bird\ngarden\n", false);
  const run_result r = run(k_config_head + "fifo\n");
  EXPECT_EQ(k_banner + k_processing + processed("fifo", 3) + totals(2, 2, 1, 0, 0),
            r.out.substr(0, r.out.find("Lexicon")));
  EXPECT_TRUE(r.out.ends_with(k_created)) << r.out;
  EXPECT_EQ(0, r.status);
}

TEST_F(BadInput, EndlessStreamsStopAtTheSizeLimit) {
  // Streams whose size cannot be measured in advance end one byte past the limit.
  ASSERT_EQ(0, mkfifo(path("fifo").c_str(), 0600));
  const fifo_writer writer(path("fifo"), "lamp bird garden\n", true);
  for (const std::string& name : {std::string("fifo"), std::string("/dev/zero")}) {
    const run_result r = run(k_config_head + name + "\n");
    EXPECT_EQ(k_banner + k_processing + too_large(name, "256001"), r.out);
    EXPECT_EQ("", r.err);
    EXPECT_EQ(1, r.status);
  }
  // A huge sparse file is refused from its measured size, without being read.
  const int fd = open(path("sparse.txt").c_str(), O_WRONLY | O_CREAT, 0600);
  ASSERT_EQ(0, ftruncate(fd, std::int64_t{10} << 30));
  close(fd);
  const run_result r = run(k_config_head + "sparse.txt\n");
  EXPECT_EQ(k_banner + k_processing + too_large("sparse.txt", "10737418240"), r.out);
  EXPECT_EQ(1, r.status);
  EXPECT_EQ((std::vector<std::string>{"fifo", "fw.bin", "run.cfg", "sparse.txt"}), entries());
}

TEST_F(BadInput, SymbolicLinks) {
  file("words.txt", "lamp bird\n");
  ASSERT_EQ(0, symlink("words.txt", path("link.txt").c_str()));
  ASSERT_EQ(0, symlink("nowhere.txt", path("dangling.txt").c_str()));
  ASSERT_EQ(0, symlink("loop.txt", path("loop.txt").c_str()));
  ASSERT_EQ(0, mkdir(path("folder").c_str(), 0700));
  ASSERT_EQ(0, symlink("folder", path("folder.txt").c_str()));
  run_result r = run(k_config_head + "link.txt\n/dev/null\n");
  EXPECT_EQ(k_banner + k_processing + processed("link.txt", 2) + processed("/dev/null", 0) +
                totals(1, 2, 0, 0, 0),
            r.out.substr(0, r.out.find("Lexicon")));
  EXPECT_EQ(0, r.status);
  for (const std::string name : {"dangling.txt", "loop.txt", "folder.txt"}) {
    r = run(k_config_head + "link.txt\n" + name + "\n");
    EXPECT_EQ(k_banner + k_processing + processed("link.txt", 2) + cant_open(name), r.out);
    EXPECT_EQ(1, r.status);
  }

  // An old package that is a link: the link goes, and what it pointed at stays untouched.
  file("precious.txt", "not a package");
  ASSERT_EQ(0, remove(path("pkg.zip").c_str()));
  ASSERT_EQ(0, symlink("precious.txt", path("pkg.zip").c_str()));
  r = run(k_config_head + "link.txt\n");
  EXPECT_TRUE(r.out.ends_with("Deleting existing \"pkg.zip\" file.\n" + k_created)) << r.out;
  EXPECT_EQ(0, r.status);
  EXPECT_EQ("not a package", read_file(path("precious.txt")));
  struct stat info {};
  ASSERT_EQ(0, lstat(path("pkg.zip").c_str(), &info));
  EXPECT_TRUE(S_ISREG(info.st_mode));

  // A link at the zip name that leads nowhere is an old package too: announced and removed, and
  // nothing is ever written through it.
  ASSERT_EQ(0, remove(path("pkg.zip").c_str()));
  ASSERT_EQ(0, mkdir(path("elsewhere").c_str(), 0700));
  ASSERT_EQ(0, symlink("elsewhere/pkg.zip", path("pkg.zip").c_str()));
  r = run(k_config_head + "link.txt\n");
  EXPECT_TRUE(
      r.out.ends_with("Creating final zip output from temp data.\n"
                      "Deleting existing \"pkg.zip\" file.\n" +
                      k_created))
      << r.out;
  EXPECT_EQ(0, r.status);
  EXPECT_TRUE(list_dir(path("elsewhere")).empty());
  ASSERT_EQ(0, lstat(path("pkg.zip").c_str(), &info));
  EXPECT_TRUE(S_ISREG(info.st_mode));
}

TEST_F(BadInput, WordListThatIsThePackagesOwnZip) {
  file("words.txt", "lamp bird\n");
  // Not there yet: it cannot be opened.
  run_result r = run(k_config_head + "words.txt\npkg.zip\n");
  EXPECT_EQ(k_banner + k_processing + processed("words.txt", 2) + cant_open("pkg.zip"), r.out);
  EXPECT_EQ(1, r.status);
  EXPECT_FALSE(file_exists(path("pkg.zip")));

  // The package of an earlier run is read as words, and then must not be replaced.
  r = run(k_config_head + "words.txt\n");
  ASSERT_EQ(0, r.status);
  const std::string old_package = read_file(path("pkg.zip"));
  r = run(k_config_head + "words.txt\npkg.zip\n");
  EXPECT_NE(std::string::npos, r.out.find(processed("words.txt", 2) + "Processed \"pkg.zip\", "));
  EXPECT_EQ(sum_of_counts(r.out), number_after(r.out, "Total words = "));
  EXPECT_TRUE(
      r.out.ends_with("Creating final zip output from temp data.\n"
                      "ERROR: Package \"pkg.zip\" is one of the input files.\n"))
      << r.out;
  EXPECT_EQ(1, r.status);
  EXPECT_EQ(old_package, read_file(path("pkg.zip")));
}

TEST_F(BadInput, ConfigurationsThatAreNotText) {
  const std::string no_words = totals(0, 0, 0, 0, 0);
  const std::string no_bin = "ERROR, Can't open ZORV-OLED input bin file: \"\".\n";
  // Every byte value: the first line starts with a zero byte and is empty; the second ends at
  // its CR and becomes the package name; there is no input bin file.
  run_result r = run(all_bytes(1));
  EXPECT_EQ(k_banner + k_processing + "WARNING: Config line 1 discarded.\n" +
                no_words.substr(0, no_words.find("43008")),
            r.out);
  EXPECT_EQ(no_bin, r.err);
  EXPECT_EQ(1, r.status);

  // Zero bytes only: four reads of up to 254 bytes, each empty.
  r = run(std::string(1000, '\0'));
  std::string warnings;
  for (int line = 1; line <= 4; ++line) {
    warnings += "WARNING: Config line " + std::to_string(line) + " discarded.\n";
  }
  EXPECT_EQ(k_banner + k_processing + warnings + no_words.substr(0, no_words.find("43008")), r.out);
  EXPECT_EQ(no_bin, r.err);
  EXPECT_EQ(1, r.status);

  // High bytes without any line end: every 254-byte read is too long, the 16th ends the run.
  r = run(std::string(4096, '\xC3'));
  warnings.clear();
  for (int line = 1; line <= 16; ++line) {
    warnings += "WARNING: Config line " + std::to_string(line) + " discarded.\n";
  }
  EXPECT_EQ(
      k_banner + k_processing + warnings + "ERROR: 16 or more warnings. Check your config file.\n",
      r.out);
  EXPECT_EQ(1, r.status);

  // An endless stream of zero bytes: as many empty lines as it takes to reach the 16th warning.
  r = run_program(dir_, program_path(), {program_path(), "/dev/zero"});
  EXPECT_EQ(k_banner + "Processing config file:\"/dev/zero\"\n" + warnings +
                "ERROR: 16 or more warnings. Check your config file.\n",
            r.out);
  EXPECT_EQ(1, r.status);
  EXPECT_FALSE(r.killed);

  // Random garbage: it names nothing that exists, so the run ends on a failure line, writes
  // nothing, and what it prints before stays in order.
  for (std::uint32_t seed = 1; seed <= 4; ++seed) {
    r = run(garbage(4000, seed * 40503u));
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(0u, r.out.find(k_banner + k_processing)) << r.out;
    const std::string last = r.out.substr(r.out.rfind('\n', r.out.size() - 2) + 1);
    const bool ends_on_failure = last.starts_with("ERROR: Can't open \"") ||
                                 last.starts_with("ERROR: 16 or more warnings.") ||
                                 (last == "Now generating output app data.\n" &&
                                  r.err.starts_with("ERROR, Can't open ZORV-OLED"));
    EXPECT_TRUE(ends_on_failure) << r.out << r.err;
    EXPECT_EQ((std::vector<std::string>{"fw.bin", "run.cfg"}), entries());
  }
}

TEST_F(BadInput, ConfigurationLinesOfEveryShape) {
  file("words.txt", "lamp bird\n");
  // No line end at all: one slot, an empty package name, a package called ".zip".
  run_result r = run("fw.bin");
  EXPECT_EQ(k_banner + k_processing + totals(0, 0, 0, 0, 0) +
                "Lexicon \"      \" output to app buffer \".app\".\n",
            r.out.substr(0, r.out.find("43072 (0xA840) bytes")));
  EXPECT_TRUE(r.out.ends_with("Created \".zip\" OTA DFU package.\n")) << r.out;
  EXPECT_EQ(0, r.status);
  EXPECT_TRUE(file_exists(path(".zip")));

  // Zero bytes end each line's text.
  r = run("fw.bin\0junk\npkg\0.x\nWORDS\0\nwords.txt\0more\n"s);
  EXPECT_EQ(k_banner + k_processing + processed("words.txt", 2) + totals(1, 2, 0, 0, 0) +
                "Lexicon \"WORDS \" output to app buffer \"pkg.app\".\n",
            r.out.substr(0, r.out.find("43080 (0xA848) bytes")));
  EXPECT_TRUE(r.out.ends_with(k_created)) << r.out;
  EXPECT_EQ(0, r.status);

  // Thousands of lines: the first eleven fill the slots, the reading stops at the 16th warning.
  std::string config = k_config_head;
  for (int i = 0; i < 5000; ++i) {
    config += "words.txt\n";
  }
  r = run(config);
  std::string warnings;
  for (int line = 12; line <= 27; ++line) {
    warnings += "WARNING: Config line " + std::to_string(line) + " discarded.\n";
  }
  EXPECT_EQ(
      k_banner + k_processing + warnings + "ERROR: 16 or more warnings. Check your config file.\n",
      r.out);
  EXPECT_EQ(1, r.status);
}

}  // namespace
