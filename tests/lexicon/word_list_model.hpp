#pragma once

// The reading rules of a word list restated the plain way, a byte at a time, and a check of
// read_word_list against them. Shared by the unit tests and the fuzz target.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "lexicon/word_list_reader.hpp"

// What the rules give for one text: records and counters.
struct word_list_model {
  std::size_t six_capacity = k_word_buffer_size;
  std::size_t four_capacity = k_word_buffer_size;
  std::vector<std::uint8_t> six, four;
  std::int32_t lines = 0, regular_four = 0, regular_six = 0, dirty_four = 0, dirty_six = 0;

  // Lines end at LF, at CR, and at CR LF taken together.
  void read(std::string_view text) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\n' || text[i] == '\r') {
        end_line(text.substr(start, i - start));
        i += text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n' ? 1 : 0;
        start = i + 1;
      }
    }
    if (start < text.size()) {
      end_line(text.substr(start));
    }
  }

  // A zero byte ends the text; "//" at its start makes the line a comment; tokens split at
  // space, comma and full stop.
  void end_line(std::string_view line) {
    ++lines;
    const std::string_view text = line.substr(0, line.find('\0'));
    if (text.starts_with("//")) {
      return;
    }
    for (std::size_t start = 0, i = 0; i <= text.size(); ++i) {
      if (i == text.size() || text[i] == ' ' || text[i] == ',' || text[i] == '.') {
        store(text.substr(start, i - start));
        start = i + 1;
      }
    }
  }

  // Five bits a byte, (byte - 1) mod 32, the dirty flag in bit 0, most significant byte first,
  // and only while a byte of the buffer stays free behind the record.
  void store(std::string_view token) {
    if (token.size() != 4 && token.size() != 6) {
      return;
    }
    const bool is_four = token.size() == 4;
    std::uint64_t value = 0;
    bool dirty = false;
    for (const char c : token) {
      const auto byte = static_cast<std::uint8_t>(c);
      dirty = dirty || (byte >= 'A' && byte <= 'Z');
      value = (value << 5) | ((byte - 1u) & 0x1Fu);
    }
    std::vector<std::uint8_t>& records = is_four ? four : six;
    const std::size_t size = is_four ? 3 : 4;
    if (records.size() + size >= (is_four ? four_capacity : six_capacity)) {
      return;
    }
    value = (value << (is_four ? 4 : 2)) | (dirty ? 1 : 0);
    for (std::size_t i = size; i-- > 0;) {
      records.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
    ++(is_four ? (dirty ? dirty_four : regular_four) : (dirty ? dirty_six : regular_six));
  }
};

// Reads text with read_word_list into buffers of the given sizes and returns the first way the
// result differs from the model, or "" when it does not.
inline std::string word_list_difference(std::string_view text, std::size_t six_capacity,
                                        std::size_t four_capacity, std::int64_t byte_limit) {
  // Buffers of exactly these sizes, so that a write past either end is caught.
  std::vector<std::uint8_t> six(six_capacity), four(four_capacity);
  word_store store;
  store.slw_buff = six;
  store.flw_buff = four;
  std::string copy(text);
  copy.push_back('\0');  // fmemopen needs a byte even for an empty text
  std::FILE* const stream = fmemopen(copy.data(), text.size(), "r");
  const word_list_result got = read_word_list(stream, store, byte_limit);
  (void)std::fclose(stream);
  // The reader takes the stream up to one byte past the limit, and that byte counts too. A
  // UTF-16 byte order mark ends the reading after the first block; a UTF-8 one is not text.
  auto readable = std::min<std::size_t>(text.size(), static_cast<std::size_t>(byte_limit) + 1);
  const bool utf16 =
      readable >= 2 && (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF"));
  readable = utf16 ? std::min<std::size_t>(readable, std::size_t{64} * 1024) : readable;
  const std::size_t mark = readable >= 3 && text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
  word_list_model want;
  want.six_capacity = six_capacity;
  want.four_capacity = four_capacity;
  want.read(utf16 ? "" : text.substr(mark, readable - mark));
  const auto same = [](std::span<const std::uint8_t> a, const std::vector<std::uint8_t>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
  };
  const std::pair<bool, const char*> checks[] = {
      {got.bytes_read == static_cast<std::int64_t>(readable), "bytes read"},
      {!got.read_failed, "read error"},
      {got.utf16 == utf16, "UTF-16 mark"},
      {got.words == want.regular_four + want.regular_six + want.dirty_four + want.dirty_six,
       "words"},
      {store.lines_processed == want.lines, "lines"},
      {store.regular_four_letter_words == want.regular_four, "regular four"},
      {store.dirty_four_letter_words == want.dirty_four, "dirty four"},
      {store.regular_six_letter_words == want.regular_six, "regular six"},
      {store.dirty_six_letter_words == want.dirty_six, "dirty six"},
      {same(std::span(six).first(store.slw_pos), want.six), "six-letter records"},
      {same(std::span(four).first(store.flw_pos), want.four), "four-letter records"}};
  for (const auto& [ok, what] : checks) {
    if (!ok) {
      return what;
    }
  }
  return "";
}
