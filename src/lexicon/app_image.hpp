#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "lexicon/layout.hpp"
#include "lexicon/word_store.hpp"

// The finished image in the app buffer and its CRC.
struct app_image {
  std::span<const std::uint8_t> bytes;
  std::uint16_t firmware_crc16 = 0;
};

// Forms the six-character lexicon name from slot 2 (upper case, letters and digits, others become
// spaces), pads slot 2's first six bytes with spaces, and warns when the name differs from them.
std::array<char, k_lexicon_name_length + 1> make_lexicon_name(std::span<char> slot);

// Reads the first 43008 bytes of bin_path into app_buffer and lays the lexicon header, the two
// word tables of store and the 0xFF fill behind them. Prints the read, name and result lines; ends
// the run on an unreadable or short bin file or an image larger than app_buffer.
app_image build_app_image(const char* bin_path, std::span<char> lexicon_slot,
                          const char* app_file_name, const word_store& store,
                          std::span<std::uint8_t> app_buffer);
