#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "base/names.hpp"
#include "lexicon/layout.hpp"
#include "lexicon/word_store.hpp"

using lexicon_name = std::array<char, k_lexicon_name_length + 1>;

// The finished image in the app buffer, its CRC and the lexicon name in its header.
struct app_image {
  std::span<const std::uint8_t> bytes;
  std::uint16_t firmware_crc16 = 0;
  lexicon_name name{};
};

// Forms the six-character lexicon name from the text of configuration line 3 (upper case,
// letters and digits, others become spaces) and warns when it differs from the text's first six
// characters, the text shown filled with spaces to six.
lexicon_name make_lexicon_name(const char* text);

// Reads the first 43008 bytes of bin_path into app_buffer and lays the lexicon header named from
// lexicon_text, the two word tables of store and the 0xFF fill behind them. Prints the read and
// name lines; ends the run on an unreadable or short bin file or an image larger than app_buffer.
app_image build_app_image(const char* bin_path, const char* lexicon_text, const word_store& store,
                          std::span<std::uint8_t> app_buffer);
