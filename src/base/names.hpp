#pragma once

#include <array>
#include <cstddef>

// The longest configuration line kept, and so the longest package name.
inline constexpr std::size_t k_max_slot_text = 253;  // a 254-character line is refused
// The package name is at most one slot's text; each derived name adds a 4-character extension.
inline constexpr std::size_t k_name_size = k_max_slot_text + 4 + 1;

using file_name = std::array<char, k_name_size>;

// The package name and the three names formed from it.
struct package_names {
  file_name package{};
  file_name dat{};
  file_name zip{};
  file_name app{};
};
