// Fuzz target: the configuration reader and the names formed from it. Each input is a whole
// configuration file. The result is compared with a plain restatement of the reading rules, and
// the names are checked to be the package name (slot 1 up to its first ".") plus an extension.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "run_control/config.hpp"

namespace {

void check(bool condition, const char* what) {
  if (!condition) {
    (void)std::fprintf(stderr, "config_fuzzer: %s\n", what);
    std::abort();
  }
}

struct expected_config {
  std::vector<std::string> slots = std::vector<std::string>(k_slot_count);
  std::vector<int> discarded;
  bool utf16 = false;
};

// Reads of at most 254 bytes, each ending after its first LF; a read's text ends at its first
// LF, CR or zero byte; a text that is empty, longer than 253 bytes or past line 11 is discarded,
// and the 16th discarded line ends the reading.
expected_config restate(std::string_view input) {
  expected_config expected;
  // A UTF-16 byte order mark refuses the file; a UTF-8 one is not part of the first line.
  expected.utf16 = input.starts_with("\xFF\xFE") || input.starts_with("\xFE\xFF");
  if (expected.utf16) {
    return expected;
  }
  if (input.starts_with("\xEF\xBB\xBF")) {
    input.remove_prefix(3);
  }
  int line_number = 0;
  std::size_t at = 0;
  while (at < input.size() && expected.discarded.size() < k_max_config_warnings) {
    std::size_t length = 0;
    while (length < k_config_read_size && at + length < input.size()) {
      ++length;
      if (input[at + length - 1] == '\n') {
        break;
      }
    }
    const std::string_view read = input.substr(at, length);
    at += length;
    const std::string_view text = read.substr(0, read.find_first_of(std::string_view("\n\r\0", 3)));
    ++line_number;
    if (line_number > static_cast<int>(k_slot_count) || text.empty() ||
        text.size() > k_max_slot_text) {
      expected.discarded.push_back(line_number);
    } else {
      expected.slots[static_cast<std::size_t>(line_number - 1)] = std::string(text);
    }
  }
  return expected;
}

bool terminated_within(const char* text, std::size_t size) {
  return std::memchr(text, '\0', size) != nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static char empty[1] = {0};
  void* const buffer = size == 0 ? static_cast<void*>(empty) : const_cast<std::uint8_t*>(data);
  std::FILE* const stream = fmemopen(buffer, size, "r");
  check(stream != nullptr, "fmemopen failed");
  const config_result result = read_config_lines(stream);
  (void)std::fclose(stream);

  const expected_config expected = restate({reinterpret_cast<const char*>(data), size});
  check(!result.read_failed, "a memory stream reported a read error");
  check(result.utf16 == expected.utf16, "UTF-16 byte order mark not told apart");
  check(result.warnings == static_cast<int>(expected.discarded.size()), "warning count differs");
  for (std::size_t i = 0; i < expected.discarded.size(); ++i) {
    check(result.discarded_lines[i] == expected.discarded[i], "discarded line number differs");
  }
  for (std::size_t i = 0; i < k_slot_count; ++i) {
    const config_slot& slot = result.slots[i];
    check(terminated_within(slot.data(), slot.size()), "slot without a terminating zero");
    check(expected.slots[i] == slot.data(), "slot text differs");
  }

  const package_names names = derive_names(result.slots);
  const std::string slot1 = result.slots[1].data();
  const std::string package = slot1.substr(0, slot1.find('.'));
  for (const auto* name : {&names.package, &names.dat, &names.zip, &names.app}) {
    check(terminated_within(name->data(), name->size()), "name without a terminating zero");
  }
  check(package == names.package.data(), "package name is not slot 1 up to its first '.'");
  check(package + ".dat" == names.dat.data(), "dat file name differs");
  check(package + ".zip" == names.zip.data(), "zip file name differs");
  check(package + ".app" == names.app.data(), "app file name differs");
  return 0;
}
