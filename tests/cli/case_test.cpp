// End-to-end cases stated as data: each file in tests/cli/cases holds a group of runs of the
// built program, each in a fresh folder holding the example firmware as fw.bin.
//
//   === title [posix|windows]       a case; a platform tag runs it only there; [native]
//                                   marks a case that needs the native program: links, limits,
//                                   kills, devices, the argument vector, a 64-bit time_t
//   -- NAME --                      a file the run sees; each line ends LF
//   -- NAME [raw] --                the same, lines joined, with \n \r \0 \xHH \\ escapes
//   -- args -- / -- argv --         the arguments, one a line (default: run.cfg); argv
//                                   includes argv[0] (default: the program's path)
//   -- setup --                     shell lines run in the folder before the program
//   -- stdout -- / -- stderr --     the whole expected output (stderr absent: none);
//                                   @VERSION@ and @PROGRAM@ stand for the version and the
//                                   program's path
//   -- any stdout --                instead of stdout: any output will do, for the reason given
//                                   in the section (one is required)
//   -- merged --                    expected output with 2>&1 (then stdout and stderr are not run)
//   -- status --                    expected exit status (absent: 0)
//   -- env --                       NAME=value lines for the program's environment
//   -- check -- / -- check.out --   shell lines run after the program, and their whole output
//
// A section name may carry [posix] or [windows] to hold only on that platform. Shell lines see
// the program as $ZIVAVOD, zivavod-inspect as $ZIVAVOD_INSPECT and the tests/ folder, for the
// scripts kept there, as $ZIVAVOD_TESTS. The Windows build runs through launchers
// (ZIVAVOD_CLI_PROGRAM, ZIVAVOD_CLI_INSPECT) with ZIVAVOD_CLI_TARGET=windows: its
// console lines must end CR LF and are compared as LF. The WebAssembly build runs through its
// node runners (web/node/*.mjs) with ZIVAVOD_CLI_TARGET=web, as a posix platform without the
// [native] cases.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "program_test.hpp"

namespace {

struct case_data {
  std::string title;
  std::map<std::string, std::string> sections;  // by name, tags taken off
  std::vector<std::string> files;               // section names that are files, in order
};

std::string inspector_path() {
  const char* const override_path = std::getenv("ZIVAVOD_CLI_INSPECT");
  return override_path != nullptr ? override_path : ZIVAVOD_INSPECT_PROGRAM;
}

bool windows_target() {
  const char* const target = std::getenv("ZIVAVOD_CLI_TARGET");
  return target != nullptr && std::string(target) == "windows";
}

bool web_target() {
  const char* const target = std::getenv("ZIVAVOD_CLI_TARGET");
  return target != nullptr && std::string(target) == "web";
}

// Takes the platform tags off name; false when the name belongs to the other platform.
bool for_this_platform(std::string& name, bool& raw) {
  raw = false;
  bool ours = true;
  for (std::size_t open; (open = name.rfind(" [")) != std::string::npos;) {
    const std::string tag = name.substr(open + 2, name.size() - open - 3);
    name.erase(open);
    if (tag == "raw") {
      raw = true;
    } else if (tag == "native") {
      ours = ours && !web_target();
    } else {
      ours = ours && tag == (windows_target() ? "windows" : "posix");
    }
  }
  return ours;
}

std::string unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') {
      continue;
    }
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char c = text[++i];
    if (c == 'x') {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == '0' ? '\0' : c;
    }
  }
  return out;
}

// The body of a new section of c: a file the run sees unless the name is one of the kinds.
std::string* open_section(case_data& c, const std::string& name) {
  static const std::set<std::string> k_kinds{"args",   "argv",       "env",      "setup",
                                             "stdout", "any stdout", "stderr",   "merged",
                                             "status", "check",      "check.out"};
  if (!k_kinds.contains(name)) {
    c.files.push_back(name);
  }
  std::string* const body = &c.sections[name];
  body->clear();
  return body;
}

std::vector<case_data> parse_cases(const std::string& text) {
  std::vector<case_data> cases;
  std::string* body = nullptr;
  bool raw = false;
  std::string skipped;
  std::size_t at = 0;
  auto finish = [&] {  // blank lines between cases belong to none of them
    while (body != nullptr && body->ends_with("\n\n")) {
      body->pop_back();
    }
    if (body != nullptr && raw) {
      *body = unescape(*body);
    }
    body = nullptr;
  };
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    end = end == std::string::npos ? text.size() : end + 1;
    std::string line = text.substr(at, end - at);
    at = end;
    if (line.starts_with("=== ")) {
      finish();
      std::string title = line.substr(4, line.size() - 5);
      bool unused = false;
      const bool ours = for_this_platform(title, unused);
      cases.push_back({ours ? title : "", {}, {}});
    } else if (line.starts_with("-- ") && line.ends_with(" --\n") && !cases.empty()) {
      finish();
      std::string name = line.substr(3, line.size() - 7);
      body = for_this_platform(name, raw) ? open_section(cases.back(), name) : &skipped;
    } else if (body != nullptr) {
      *body += line;
    }
  }
  finish();
  std::erase_if(cases, [](const case_data& c) { return c.title.empty(); });
  return cases;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find('\n', at);
    lines.push_back(text.substr(at, end - at));
    at = end == std::string::npos ? text.size() : end + 1;
  }
  return lines;
}

std::string expected(const case_data& c, const std::string& name) {
  const auto found = c.sections.find(name);
  std::string text = found == c.sections.end() ? "" : found->second;
  for (const auto& [key, value] : {std::pair<std::string, std::string>{"@VERSION@", k_version},
                                   {"@PROGRAM@", program_path()}}) {
    for (std::size_t at; (at = text.find(key)) != std::string::npos;) {
      text.replace(at, key.size(), value);
    }
  }
  return text;
}

// The Windows runtime ends every console line CR LF; all must, and they compare as LF.
std::string console_lines(std::string text) {
  if (!windows_target()) {
    return text;
  }
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) {
      out += "<LF without CR>";
    }
    if (text[i] != '\r' || i + 1 == text.size() || text[i + 1] != '\n') {
      out += text[i];
    }
  }
  return out;
}

class CaseTest : public ProgramTest {
 public:
  explicit CaseTest(case_data data) : case_(std::move(data)) {}

  void TestBody() override {
    const std::string program = program_path();
    const std::string shell_env = "cd '" + dir_ + "' && ZIVAVOD='" + program +
                                  "' ZIVAVOD_INSPECT='" + inspector_path() +
                                  "' ZIVAVOD_TESTS='" ZIVAVOD_TESTS_DIR "' ";
    for (const std::string& name : case_.files) {
      std::filesystem::create_directories(std::filesystem::path(path(name)).parent_path());
      file(name, case_.sections.at(name));
    }
    if (case_.sections.contains("setup")) {
      ASSERT_EQ(0, std::system((shell_env + "sh -e >/dev/null 2>&1 <<'ZIVAVOD_SETUP'\n" +
                                case_.sections.at("setup") + "ZIVAVOD_SETUP\n")
                                   .c_str()));
    }
    std::vector<std::string> argv{program};
    if (case_.sections.contains("argv")) {
      argv = lines_of(case_.sections.at("argv"));
    } else if (case_.sections.contains("args")) {
      const std::vector<std::string> args = lines_of(case_.sections.at("args"));
      argv.insert(argv.end(), args.begin(), args.end());
    } else {
      argv.push_back("run.cfg");
    }
    run_limits limits;
    limits.merged = case_.sections.contains("merged");
    if (case_.sections.contains("env")) {
      limits.environment = lines_of(case_.sections.at("env"));
    }
    // A case says what it prints, or why what it prints does not matter.
    const bool any_stdout = case_.sections.contains("any stdout");
    ASSERT_TRUE(limits.merged || case_.sections.contains("stdout") ||
                (any_stdout && !case_.sections.at("any stdout").empty()))
        << "a case needs -- stdout --, -- merged -- or -- any stdout -- with its reason";
    const run_result r = run_program(dir_, program, argv, limits);
    EXPECT_FALSE(r.killed);
    if (limits.merged) {
      EXPECT_EQ(expected(case_, "merged"), console_lines(r.out));
    } else {
      if (!any_stdout) {
        EXPECT_EQ(expected(case_, "stdout"), console_lines(r.out));
      }
      EXPECT_EQ(expected(case_, "stderr"), console_lines(r.err));
    }
    const std::string status = expected(case_, "status");
    EXPECT_EQ(status.empty() ? 0 : std::stoi(status), r.status);
    if (case_.sections.contains("check")) {
      EXPECT_EQ(expected(case_, "check.out"),
                shell_output(shell_env + "sh <<'ZIVAVOD_CHECK' 2>&1\n" +
                             case_.sections.at("check") + "ZIVAVOD_CHECK\n"));
    }
  }

 private:
  case_data case_;
};

std::string test_name(const std::string& title) {
  std::string name;
  bool upper = true;
  for (const char c : title) {
    if (std::isalnum(static_cast<unsigned char>(c)) != 0) {
      name += upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
      upper = false;
    } else {
      upper = true;
    }
  }
  return name;
}

const bool k_registered = [] {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(ZIVAVOD_CASES_DIR)) {
    files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  for (const auto& file : files) {
    for (case_data& c : parse_cases(read_file(file.string()))) {
      const std::string suite = "Case_" + file.stem().string();
      const std::string name = test_name(c.title);
      testing::RegisterTest(suite.c_str(), name.c_str(), nullptr, nullptr, file.c_str(), 0,
                            [c]() -> ProgramTest* { return new CaseTest(c); });
    }
  }
  return true;
}();

}  // namespace
