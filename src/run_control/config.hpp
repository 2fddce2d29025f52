#pragma once

#include <array>
#include <cstddef>
#include <cstdio>

#include "base/names.hpp"

inline constexpr std::size_t k_slot_count = 11;
inline constexpr std::size_t k_slot_size = 255;
inline constexpr std::size_t k_config_read_size = 254;
inline constexpr int k_max_config_warnings = 16;  // the 16th warning ends the run
inline constexpr std::size_t k_first_word_list_slot = 3;

using config_slot = std::array<char, k_slot_size>;
using config_slots = std::array<config_slot, k_slot_count>;

// What the configuration file gave, before anything is printed about it.
struct config_result {
  config_slots slots{};
  std::array<int, k_max_config_warnings> discarded_lines{};  // line numbers, in order
  int warnings = 0;
  bool read_failed = false;
  bool utf16 = false;  // the file starts with a UTF-16 byte order mark: nothing read
};

// Reads configuration lines from stream into slots until its end, a read error or the 16th
// discarded line. A UTF-8 byte order mark at the start is skipped, a UTF-16 one refused.
// Prints nothing.
config_result read_config_lines(std::FILE* stream);

// Opens and reads the configuration file at path, printing its lines and warnings. Ends the run
// when it cannot be opened or read or starts with a UTF-16 byte order mark (message 3), or on
// the 16th discarded line.
config_slots read_config_file(const char* path);

// Cuts slot 1 at its first "." and appends ".dat", ".zip" and ".app".
package_names derive_names(const config_slots& slots);
