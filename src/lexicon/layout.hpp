#pragma once

// The lexicon as the device reads it: where it lies in the app image, its header and its word
// records. zivavod writes images by these definitions and zivavod-inspect reads them back by the
// same ones, so the two cannot drift apart.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

inline constexpr std::size_t k_app_buffer_size = 146432;  // the device's application area
inline constexpr std::size_t k_firmware_head_size = 43008;
inline constexpr std::size_t k_lexicon_header_size = 24;
inline constexpr std::size_t k_tables_offset = 43072;  // the six-letter table, then the four
inline constexpr std::uint32_t k_image_device_address = 0x18000;  // where the device loads it
inline constexpr std::uint32_t k_tables_device_address =
    k_image_device_address + k_tables_offset;  // 0x22840
inline constexpr std::uint16_t k_lexicon_magic = 0xAA55;
inline constexpr std::size_t k_lexicon_name_length = 6;

// True for the characters the device shows in a lexicon name: A to Z, 0 to 9 and the space.
constexpr bool is_lexicon_name_character(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ';
}

// A record holds a word's letter codes, first letter highest, big-endian, then spare bits of
// which the lowest is the dirty flag. A letter code is the low five bits of (byte - 1): a and A
// give 0, z and Z give 25.
inline constexpr std::size_t k_four_letter_record_size = 3;
inline constexpr std::size_t k_six_letter_record_size = 4;
inline constexpr unsigned k_letter_code_bits = 5;
inline constexpr std::uint32_t k_letter_code_mask = (1u << k_letter_code_bits) - 1;
inline constexpr std::uint32_t k_dirty_flag = 1;
inline constexpr unsigned k_four_letter_spare_bits =
    static_cast<unsigned>(8 * k_four_letter_record_size) - 4 * k_letter_code_bits;  // 4
inline constexpr unsigned k_six_letter_spare_bits =
    static_cast<unsigned>(8 * k_six_letter_record_size) - 6 * k_letter_code_bits;  // 2

// The lexicon header's fields; on the device all numbers are little-endian.
struct lexicon_header {
  std::uint16_t magic = 0;
  std::array<char, k_lexicon_name_length> name{};
  std::uint32_t four_table = 0;  // device address of the four-letter table
  std::uint32_t four_count = 0;
  std::uint32_t six_table = 0;  // device address of the six-letter table
  std::uint32_t six_count = 0;
};

// The header of a lexicon named by name's first six characters, with six_count six-letter words
// and four_count four-letter words: the magic and the addresses of the tables they fill.
lexicon_header make_lexicon_header(const char* name, std::uint32_t six_count,
                                   std::uint32_t four_count);

// Lays header out in the bytes of out.
void put_lexicon_header(std::span<std::uint8_t, k_lexicon_header_size> out,
                        const lexicon_header& header);

// Reads the header laid out in bytes.
lexicon_header get_lexicon_header(std::span<const std::uint8_t, k_lexicon_header_size> bytes);

// Length of the image whose tables hold six_count and four_count words: up to the end of the
// four-letter table, filled to a multiple of 4.
std::uint64_t image_length(std::uint64_t six_count, std::uint64_t four_count);

// The letter codes of the word whose record is record (codes.size() letters, in as many bytes as
// such a record has), first letter first, into codes. Returns true when the word is dirty.
bool decode_record(std::span<const std::uint8_t> record, std::span<std::uint8_t> codes);
