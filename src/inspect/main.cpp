// zivavod-inspect: reads a package zivavod wrote, checks it the way the device and the DFU tools
// will read it, and says what it holds. Status 0: sound; 1: problems found; 2: a usage error or
// a file that cannot be read. With --diff it compares two packages, as diff does: status 0 the
// same, 1 different, 2 trouble (a package with problems among them).
#include <array>
#include <cstdio>
#include <string_view>

#include "base/platform.hpp"
#include "base/version.hpp"
#include "inspect/diff.hpp"
#include "inspect/inspect.hpp"
#include "inspect/report.hpp"

namespace {

// The exit statuses: a sound package (or, with --diff, no difference), a package with problems
// (or differences), and a command line that is wrong or a file that cannot be read (or, with
// --diff, a package with problems, which is not compared).
constexpr int k_status_sound = 0;
constexpr int k_status_problems = 1;
constexpr int k_status_usage_or_unreadable = 2;

constexpr char k_usage[] = "Usage: zivavod-inspect [--words] PACKAGE.zip";
// The usage lines for a command line with an option the first line does not name.
constexpr char k_full_usage[] =
    "Usage: zivavod-inspect [--words] [--json] PACKAGE.zip\n"
    "       zivavod-inspect --diff [--summary] [--json] OLD.zip NEW.zip";
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
  std::array<const char*, 2> packages{};
  std::size_t package_count = 0;
  bool words = false;
  bool json = false;
  bool diff = false;
  bool summary = false;
  bool help = false;
  bool version = false;
};

constexpr std::array<std::string_view, 6> k_options = {"--words",   "--json", "--diff",
                                                       "--summary", "--help", "--version"};

// Sets the flag of o that arg names; false when arg names no option.
bool set_option(std::string_view arg, options& o) {
  const std::array<bool*, k_options.size()> flags = {&o.words,   &o.json, &o.diff,
                                                     &o.summary, &o.help, &o.version};
  for (std::size_t i = 0; i < k_options.size(); ++i) {
    if (arg == k_options[i]) {
      *flags[i] = true;
      return true;
    }
  }
  return false;
}

// True when an option before any "--" is one that the first usage line does not name: then the
// usage lines name every option, and --diff takes two packages.
bool new_option_given(int argc, char** argv, bool& diff) {
  bool given = false;
  for (int i = 1; i < argc && std::string_view(argv[i]) != "--"; ++i) {
    const std::string_view arg = argv[i];
    diff = diff || arg == "--diff";
    given = given || arg == "--diff" || arg == "--json" || arg == "--summary";
  }
  return given;
}

// The usage error the options and packages, read whole, make; null when there is none.
const char* combination_error(const options& o) {
  if (o.summary && !o.diff) {
    return "--summary goes with --diff";
  }
  if (o.words && o.diff) {
    return "--words does not go with --diff";
  }
  if (o.help || o.version) {
    return nullptr;
  }
  if (o.package_count == 0) {
    return "no package";
  }
  return o.diff && o.package_count < 2 ? "--diff needs two packages, the old and the new" : nullptr;
}

// Reads the command line; on a usage error says what is wrong on standard error, with the usage
// line, and returns false.
bool read_options(int argc, char** argv, options& o) {
  bool diff = false;
  const bool new_options = new_option_given(argc, argv, diff);
  const char* error = nullptr;
  const char* culprit = "";
  bool operands_only = false;
  for (int i = 1; i < argc && error == nullptr; ++i) {
    const std::string_view arg = argv[i];
    if (!operands_only && arg == "--") {
      operands_only = true;
    } else if (!operands_only && arg.size() > 1 && arg[0] == '-') {
      if (!set_option(arg, o)) {
        error = "unknown option";
        culprit = argv[i];
      }
    } else if (o.package_count == (diff ? 2 : 1)) {
      error = diff ? "more than two packages" : "more than one package";
      culprit = argv[i];
    } else {
      o.packages[o.package_count++] = argv[i];
    }
  }
  error = error != nullptr ? error : combination_error(o);
  if (error != nullptr) {
    (void)std::fprintf(stderr, "zivavod-inspect: %s%s%s\n%s\n", error, *culprit != '\0' ? ": " : "",
                       culprit, new_options ? k_full_usage : k_usage);
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

// Reads the package at path and inspects it into r; a file too large to be a package is its one
// problem. Returns false when the file cannot be read (and says so).
bool load_package(const char* path, inspection& r) {
  std::size_t size = 0;
  if (!read_package(path, size)) {
    return false;
  }
  if (size > k_max_package_size) {
    r = inspection{};
    note_problem(r, "larger than %lu bytes, which no package is",
                 static_cast<unsigned long>(k_max_package_size));
    return true;
  }
  inspect_package(std::span<const std::uint8_t>(g_package).first(size), r);
  return true;
}

// status, unless the report could not be written.
int written(int status) {
  if (std::fflush(stdout) != 0) {
    (void)std::fprintf(stderr, "zivavod-inspect: cannot write the report\n");
    return k_status_usage_or_unreadable;
  }
  return status;
}

inspection g_inspection;
inspection g_old_inspection;
std::array<std::uint8_t, k_app_buffer_size> g_old_image;

int inspect_one(const options& o) {
  if (!load_package(o.packages[0], g_inspection)) {
    return k_status_usage_or_unreadable;
  }
  const int status = g_inspection.problem_count == 0 ? k_status_sound : k_status_problems;
  if (o.json) {
    print_json_report({o.packages[0], &g_inspection}, status, o.words);
  } else {
    print_report({o.packages[0], &g_inspection}, o.words);
  }
  return written(status);
}

int compare_two(const options& o) {
  if (!load_package(o.packages[0], g_old_inspection)) {
    return k_status_usage_or_unreadable;
  }
  // The second package is read into the same buffers.
  keep_image(g_old_inspection, g_old_image);
  if (!load_package(o.packages[1], g_inspection)) {
    return k_status_usage_or_unreadable;
  }
  comparison c{{o.packages[0], &g_old_inspection}, {o.packages[1], &g_inspection}};
  package_diff d;
  if (g_old_inspection.problem_count != 0 || g_inspection.problem_count != 0) {
    c.status = k_status_usage_or_unreadable;
  } else {
    d = compare_packages(g_old_inspection, g_inspection);
    c.diff = &d;
    c.status = d.image.count == 0 ? 0 : 1;
  }
  if (o.json) {
    print_json_diff(c, o.summary);
  } else {
    print_diff(c, o.summary);
  }
  return written(c.status);
}

}  // namespace

int main(int argc, char** argv) {
  options o;
  if (!read_options(argc, argv, o)) {
    return k_status_usage_or_unreadable;
  }
  if (o.help) {
    std::printf("%s\n%s\n", k_usage, k_help);
    return k_status_sound;
  }
  if (o.version) {
    std::printf("zivavod-inspect %s\n", k_version);
    return k_status_sound;
  }
  return o.diff ? compare_two(o) : inspect_one(o);
}
