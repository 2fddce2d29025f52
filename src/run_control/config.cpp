#include "run_control/config.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "base/console.hpp"
#include "base/messages.hpp"
#include "base/platform.hpp"

namespace {

// Takes a byte order mark off the start of stream. A UTF-8 one is dropped; the bytes taken that
// turn out not to be one are put in line (ungetc promises to give back a single byte only) and
// their count returned. -1 for a UTF-16 mark.
int take_byte_order_mark(std::FILE* stream, char* line) {
  constexpr std::string_view k_utf8_mark = "\xEF\xBB\xBF";
  const int first = std::getc(stream);
  if (first == 0xFF || first == 0xFE) {
    const int second = std::getc(stream);
    if (second == (first ^ 0x01)) {
      return -1;
    }
    (void)std::ungetc(second, stream);
    line[0] = static_cast<char>(first);
    return 1;
  }
  std::size_t kept = 0;
  int c = first;
  while (c == static_cast<unsigned char>(k_utf8_mark[kept])) {
    line[kept++] = static_cast<char>(c);
    if (kept == k_utf8_mark.size()) {
      return 0;
    }
    c = std::getc(stream);
  }
  (void)std::ungetc(c, stream);
  return static_cast<int>(kept);
}

// Reads like fgets, up to 254 bytes and through the first LF, behind the kept bytes already at
// the start of line. False when nothing at all was read.
bool read_piece(std::FILE* stream, char* line, int kept) {
  if (std::fgets(line + kept, static_cast<int>(k_config_read_size + 1) - kept, stream) == nullptr) {
    line[kept] = '\0';
    return kept != 0;
  }
  return true;
}

}  // namespace

config_result read_config_lines(std::FILE* stream) {
  config_result result;
  std::array<char, k_slot_size> line{};
  int line_number = 0;
  int kept = take_byte_order_mark(stream, line.data());
  if (kept < 0) {
    result.utf16 = true;
    return result;
  }
  while (result.warnings < k_max_config_warnings && read_piece(stream, line.data(), kept)) {
    kept = 0;
    // A read ends after the first LF or 254 bytes; its text ends at the first LF or CR.
    const std::size_t length = std::strcspn(line.data(), "\n\r");
    line[length] = '\0';
    ++line_number;
    const auto slot = static_cast<std::size_t>(line_number - 1);
    if (slot >= k_slot_count || length == 0 || length > k_max_slot_text) {
      result.discarded_lines[static_cast<std::size_t>(result.warnings++)] = line_number;
      continue;
    }
    std::memcpy(result.slots[slot].data(), line.data(), length + 1);
  }
  result.read_failed = std::ferror(stream) != 0;
  return result;
}

config_slots read_config_file(const char* path) {
  const unique_file file{std::fopen(path, "r")};
  if (!file || is_directory(file.get())) {
    fail(msg::k_cant_open_config, path);
  }
  // The whole file is read before anything is said about it, so that a read error is reported
  // as an unreadable file rather than after lines that claim it was processed.
  const config_result result = read_config_lines(file.get());
  if (result.read_failed || result.utf16) {
    fail(msg::k_cant_open_config, path);
  }
  say(msg::k_processing_config, path);
  for (int i = 0; i < result.warnings; ++i) {
    say(msg::k_config_line_discarded, result.discarded_lines[static_cast<std::size_t>(i)]);
  }
  if (result.warnings == k_max_config_warnings) {
    fail(msg::k_too_many_warnings);
  }
  return result.slots;
}

namespace {

// base is at most one slot's text, so base and extension always fit the name.
void form_name(file_name& name, std::string_view base, std::string_view extension) {
  base.copy(name.data(), base.size());
  extension.copy(name.data() + base.size(), extension.size());
  name[base.size() + extension.size()] = '\0';
}

}  // namespace

package_names derive_names(const config_slots& slots) {
  const std::string_view package(slots[1].data(),
                                 std::min(std::strcspn(slots[1].data(), "."), k_max_slot_text));
  package_names names;
  form_name(names.package, package, "");
  form_name(names.dat, package, ".dat");
  form_name(names.zip, package, ".zip");
  form_name(names.app, package, ".app");
  return names;
}
