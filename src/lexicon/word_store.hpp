#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "lexicon/layout.hpp"

// Size of each of the two record buffers.
inline constexpr std::size_t k_word_buffer_size = 256000;
// The most bytes one word list file may hold.
inline constexpr std::int64_t k_word_list_byte_limit = 256000;

// The records of all word list files of a run, and their counters.
struct word_store {
  std::span<std::uint8_t> slw_buff;  // six-letter records, 4 bytes each, big-endian
  std::span<std::uint8_t> flw_buff;  // four-letter records, 3 bytes each, big-endian
  std::size_t slw_pos = 0;           // next free byte of slw_buff
  std::size_t flw_pos = 0;           // next free byte of flw_buff
  std::int32_t lines_processed = 0;
  std::int32_t regular_four_letter_words = 0;
  std::int32_t regular_six_letter_words = 0;
  std::int32_t dirty_four_letter_words = 0;
  std::int32_t dirty_six_letter_words = 0;
};

// The one word store of the process; never reset during a run.
extern word_store g_word_store;

// Number of four-letter records stored, regular and dirty.
inline std::int32_t four_letter_count(const word_store& store) {
  return store.regular_four_letter_words + store.dirty_four_letter_words;
}

// Number of six-letter records stored, regular and dirty.
inline std::int32_t six_letter_count(const word_store& store) {
  return store.regular_six_letter_words + store.dirty_six_letter_words;
}
