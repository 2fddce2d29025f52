#pragma once

// zivavod-inspect's reading of a package: the three entries read back from the zip archive and
// checked the way the device and the DFU tools read them.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "lexicon/layout.hpp"

// No package zivavod writes comes near this size.
inline constexpr std::size_t k_max_package_size = std::size_t{1} << 20;
inline constexpr std::size_t k_max_problems = 24;
inline constexpr std::size_t k_line_size = 600;
// Longest word text: six codes shown as [NN], the dirty mark and the closing zero.
inline constexpr std::size_t k_word_text_size = 6 * 4 + 2;

using text_line = std::array<char, k_line_size>;

// Words of one length in the image: their records and how many are regular and dirty.
struct word_table {
  std::span<const std::uint8_t> records;
  std::size_t letters = 0;
  std::size_t record_size = 0;
  std::uint32_t regular = 0;
  std::uint32_t dirty = 0;
};

// What a package holds, as far as it could be read, and every problem found in it. Names and
// texts from the package are made printable: control characters show as '?'.
struct inspection {
  bool image_read = false;  // the app image entry was read whole, its zip CRC-32 right
  text_line image_name{};
  std::size_t image_size = 0;
  std::uint16_t image_crc16 = 0;  // computed afresh
  bool header_read = false;       // the image is long enough to hold the lexicon header
  std::array<char, k_lexicon_name_length + 1> lexicon_name{};
  bool tables_read = false;  // the header's counts fit the image: the tables below hold words
  word_table six;
  word_table four;
  std::size_t problem_count = 0;  // the last one says when more were found than are kept
  std::array<text_line, k_max_problems> problems{};
};

// Reads the zip archive whose bytes are package and checks it: the archive is read as strictly
// as the strictest zip reader (zip_reader.hpp); the init packet, manifest.json and the app image
// are there, in this order, deflated and whole; the manifest is JSON in the legacy DFU layout
// and names the two other entries; the init packet holds zivavod's values; the
// CRC-16 of the image, the init packet's and the manifest's agree; the lexicon header agrees with
// itself and with the image's length. The tables point into a buffer of this function's own,
// valid until its next call. Never reads outside package.
void inspect_package(std::span<const std::uint8_t> package, inspection& result);

// The word whose record is record (of a table of words of letters letters), as text: letter
// codes 0 to 25 as a to z, any other code as its number in brackets ("[27]"), and a '*' behind
// a dirty word.
std::array<char, k_word_text_size> word_text(std::span<const std::uint8_t> record,
                                             std::size_t letters);

// Adds a problem line to r with control characters shown as '?'; once more problems are found
// than r keeps, its last line says so.
[[gnu::format(printf, 2, 3)]] void note_problem(inspection& r, const char* format, ...);

// text as a line to print, cut to fit, its control characters and zero bytes shown as '?'.
text_line printable(std::string_view text);
