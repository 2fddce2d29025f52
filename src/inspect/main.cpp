// zivavod-inspect: reads a package zivavod wrote, checks it the way the device and the DFU tools
// will read it, and says what it holds. Status 0: sound; 1: problems found; 2: a usage error or
// a file that cannot be read.
#include <array>
#include <cstdio>
#include <string_view>

#include "base/platform.hpp"
#include "base/version.hpp"
#include "inspect/inspect.hpp"

namespace {

constexpr int k_sound = 0;
constexpr int k_problems_found = 1;
constexpr int k_trouble = 2;

constexpr char k_usage[] = "Usage: zivavod-inspect [--words] PACKAGE.zip";
constexpr char k_help[] =
    "Reads a DFU package written by zivavod and checks it the way the device and the DFU tools\n"
    "read it: its entries, manifest.json, init packet, CRCs and lexicon header. Prints what it\n"
    "holds, then OK, or one line per problem found.\n"
    "  --words    also print every word of the lexicon, one a line, in the order of its tables:\n"
    "             a dirty word ends in *, a code beyond a to z shows as [26] to [31]\n"
    "  --help     print this help and exit\n"
    "  --version  print the version and exit\n"
    "Exit status: 0 sound, 1 problems found, 2 usage error or unreadable file.";

struct options {
  const char* package = nullptr;
  bool words = false;
  bool help = false;
  bool version = false;
};

// Reads the command line; on a usage error says what is wrong on standard error, with the usage
// line, and returns false.
bool read_options(int argc, char** argv, options& o) {
  const char* error = nullptr;
  const char* culprit = "";
  bool operands_only = false;
  for (int i = 1; i < argc && error == nullptr; ++i) {
    const std::string_view arg = argv[i];
    if (!operands_only && arg == "--") {
      operands_only = true;
    } else if (!operands_only && arg.size() > 1 && arg[0] == '-') {
      o.words = o.words || arg == "--words";
      o.help = o.help || arg == "--help";
      o.version = o.version || arg == "--version";
      if (arg != "--words" && arg != "--help" && arg != "--version") {
        error = "unknown option";
        culprit = argv[i];
      }
    } else if (o.package != nullptr) {
      error = "more than one package";
      culprit = argv[i];
    } else {
      o.package = argv[i];
    }
  }
  if (error == nullptr && o.package == nullptr && !o.help && !o.version) {
    error = "no package";
  }
  if (error != nullptr) {
    (void)std::fprintf(stderr, "zivavod-inspect: %s%s%s\n%s\n", error, *culprit != '\0' ? ": " : "",
                       culprit, k_usage);
  }
  return error == nullptr;
}

std::array<std::uint8_t, k_max_package_size + 1> g_package;

// Reads the file at path into g_package; prints why and returns false when it cannot.
bool read_package(const char* path, std::size_t& size) {
  const unique_file file{std::fopen(path, "rb")};
  if (!file || is_directory(file.get())) {
    (void)std::fprintf(stderr, "zivavod-inspect: cannot open \"%s\"\n", path);
    return false;
  }
  size = std::fread(g_package.data(), 1, g_package.size(), file.get());
  if (std::ferror(file.get()) != 0) {
    (void)std::fprintf(stderr, "zivavod-inspect: cannot read \"%s\"\n", path);
    return false;
  }
  return true;
}

void print_words(const word_table& table) {
  for (std::size_t at = 0; at < table.records.size(); at += table.record_size) {
    std::puts(word_text(table.records.subspan(at, table.record_size), table.letters).data());
  }
}

void print_count(const char* what, const word_table& table) {
  std::printf("%s: %lu (%lu regular, %lu dirty)\n", what,
              static_cast<unsigned long>(table.regular) + table.dirty,
              static_cast<unsigned long>(table.regular), static_cast<unsigned long>(table.dirty));
}

// What the package holds, as far as it was read, its words when asked, then OK or the problems.
void print_report(const char* path, const inspection& r, bool words) {
  std::printf("package: %s\n", path);
  if (r.header_read) {
    std::printf("lexicon: \"%s\"\n", r.lexicon_name.data());
  }
  if (r.image_read) {
    std::printf("app image: %s, %lu bytes, CRC-16 %u (0x%04X)\n", r.image_name.data(),
                static_cast<unsigned long>(r.image_size), unsigned{r.image_crc16},
                unsigned{r.image_crc16});
  }
  if (r.tables_read) {
    print_count("six-letter words", r.six);
    print_count("four-letter words", r.four);
    if (words) {
      print_words(r.six);
      print_words(r.four);
    }
  }
  if (r.problem_count == 0) {
    std::puts("OK");
  }
  for (std::size_t i = 0; i < r.problem_count; ++i) {
    std::printf("problem: %s\n", r.problems[i].data());
  }
}

inspection g_inspection;

}  // namespace

int main(int argc, char** argv) {
  options o;
  if (!read_options(argc, argv, o)) {
    return k_trouble;
  }
  if (o.help) {
    std::printf("%s\n%s\n", k_usage, k_help);
    return k_sound;
  }
  if (o.version) {
    std::printf("zivavod-inspect %s\n", k_version);
    return k_sound;
  }
  std::size_t size = 0;
  if (!read_package(o.package, size)) {
    return k_trouble;
  }
  if (size > k_max_package_size) {
    std::printf("package: %s\nproblem: larger than %lu bytes, which no package is\n", o.package,
                static_cast<unsigned long>(k_max_package_size));
    return k_problems_found;
  }
  inspect_package(std::span<const std::uint8_t>(g_package).first(size), g_inspection);
  print_report(o.package, g_inspection, o.words);
  if (std::fflush(stdout) != 0) {
    (void)std::fprintf(stderr, "zivavod-inspect: cannot write the report\n");
    return k_trouble;
  }
  return g_inspection.problem_count == 0 ? k_sound : k_problems_found;
}
