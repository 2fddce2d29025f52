#pragma once

// What zivavod-inspect finds in a package: its facts and its problems, as every part of the
// inspector records and prints them. Below the parts (zip_reader, manifest_check, diff, report)
// and the check that runs them (inspect.hpp).

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "lexicon/layout.hpp"

inline constexpr std::size_t k_max_problems = 24;
// A package has three entries; a few more are kept, so that each can be named as unexpected.
inline constexpr std::size_t k_max_entries = 8;
inline constexpr std::size_t k_line_size = 600;
// Longest word text: six codes shown as [NN], the dirty mark and the closing zero.
inline constexpr std::size_t k_word_text_size = 6 * 4 + 2;

using text_line = std::array<char, k_line_size>;

// What a problem is about, by the part of the package whose check found it. The names in
// k_problem_kind_names are what --json prints: they stay as they are.
enum class problem_kind : std::uint8_t {
  file,            // the file itself, before it is read as an archive
  archive,         // the zip archive's records and the entries' compressed data
  entries,         // which entries there are, and their order
  init_packet,     // the .dat entry
  manifest,        // manifest.json
  app_image,       // the .app entry's length
  lexicon_header,  // the header behind the firmware head, and the tables it places
  crc16,           // the image's CRC-16 against the init packet's and the manifest's
  too_many,        // the line saying that more problems were found than are kept
};
inline constexpr std::array<const char*, 9> k_problem_kind_names = {
    "file",      "archive",        "entries", "init_packet", "manifest",
    "app_image", "lexicon_header", "crc16",   "too_many"};

// An entry as the archive's central directory states it.
struct entry_facts {
  text_line name{};  // printable
  std::uint16_t method = 0;
  std::uint32_t crc32 = 0;
  std::size_t compressed_size = 0;  // 0 where its data cannot be found
  std::uint32_t size = 0;
};

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
  std::array<entry_facts, k_max_entries> entries{};
  std::size_t entry_count = 0;                  // entries kept; the archive may state more
  std::optional<std::uint16_t> packet_crc16;    // as the init packet states it
  std::optional<std::uint16_t> manifest_crc16;  // as manifest.json states it
  bool image_read = false;  // the app image entry was read whole, its zip CRC-32 right
  text_line image_name{};
  std::size_t image_size = 0;
  std::uint16_t image_crc16 = 0;        // computed afresh
  std::span<const std::uint8_t> image;  // the image's bytes, where image_read
  bool header_read = false;             // the image is long enough to hold the lexicon header
  std::array<char, k_lexicon_name_length + 1> lexicon_name{};
  bool tables_read = false;  // the header's counts fit the image: the tables below hold words
  word_table six;
  word_table four;
  std::size_t problem_count = 0;  // the last one says when more were found than are kept
  std::array<text_line, k_max_problems> problems{};
  std::array<problem_kind, k_max_problems> problem_kinds{};
  problem_kind kind = problem_kind::file;  // the kind note_problem gives the next problem
};

// The app image's room for the lexicon's tables: the device's application area behind them.
inline constexpr std::size_t k_lexicon_space = k_app_buffer_size - k_tables_offset;  // 103360

// Bytes of the lexicon space the tables fill: four a six-letter word, three a four-letter one.
std::size_t lexicon_space_used(const inspection& r);

// The word whose record is record (of a table of words of letters letters), as text: letter
// codes 0 to 25 as a to z, any other code as its number in brackets ("[27]"), and a '*' behind
// a dirty word.
std::array<char, k_word_text_size> word_text(std::span<const std::uint8_t> record,
                                             std::size_t letters);

// Adds a problem line of r.kind to r with control characters shown as '?'; once more problems
// are found than r keeps, its last line says so.
[[gnu::format(printf, 2, 3)]] void note_problem(inspection& r, const char* format, ...);

// c as it may be printed: a control character as '?'. A package's bytes may hold anything.
inline char printable_char(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7F ? '?' : c;
}

// text as a line to print, cut to fit, its control characters and zero bytes shown as '?'.
text_line printable(std::string_view text);
