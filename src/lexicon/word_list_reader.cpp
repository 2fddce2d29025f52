#include "lexicon/word_list_reader.hpp"

#include <algorithm>
#include <array>

namespace {

// How the reader treats each byte value.
enum byte_class : std::uint8_t { k_letter, k_delimiter, k_lf, k_cr, k_nul, k_slash };

constexpr std::array<byte_class, 256> make_classes() {
  std::array<byte_class, 256> classes{};
  classes[' '] = classes[','] = classes['.'] = k_delimiter;
  classes['\n'] = k_lf;
  classes['\r'] = k_cr;
  classes['\0'] = k_nul;
  classes['/'] = k_slash;
  return classes;
}
constexpr std::array<byte_class, 256> k_classes = make_classes();

// A token in the making. Tokens longer than six bytes are only counted, never packed.
struct token {
  std::uint32_t value = 0;  // five bits a byte, first byte highest
  std::uint32_t length = 0; // saturates at 7: any longer token is skipped alike
  bool dirty = false;       // an upper-case A to Z was seen
};

// Where the reader is within the current line, kept across block reads.
struct line_state {
  token current;
  std::uint32_t line_bytes = 0;  // bytes of this line so far, saturating
  bool first_is_slash = false;
  bool skipping = false;         // comment line, or past a zero byte
  bool after_cr = false;         // an LF right after a CR belongs to the same line end
};

void add_byte(token& t, std::uint8_t byte) {
  if (t.length < 7) {
    t.value = (t.value << 5) | ((byte - 1u) & 0x1Fu);
    t.dirty |= byte >= 'A' && byte <= 'Z';
    ++t.length;
  }
}

// Stores t if it is a word and there is room; returns 1 for a stored word, else 0.
int store_token(word_store& store, const token& t) {
  if (t.length == 4) {
    if (store.flw_pos + k_four_letter_record_size >= store.flw_buff.size()) {
      return 0;  // full: refused silently; the image size check reports the overflow
    }
    const std::uint32_t record = (t.value << 4) | (t.dirty ? 1u : 0u);
    std::uint8_t* out = &store.flw_buff[store.flw_pos];
    out[0] = static_cast<std::uint8_t>(record >> 16);
    out[1] = static_cast<std::uint8_t>(record >> 8);
    out[2] = static_cast<std::uint8_t>(record);
    store.flw_pos += k_four_letter_record_size;
    ++(t.dirty ? store.dirty_four_letter_words : store.regular_four_letter_words);
    return 1;
  }
  if (t.length == 6) {
    if (store.slw_pos + k_six_letter_record_size >= store.slw_buff.size()) {
      return 0;
    }
    const std::uint32_t record = (t.value << 2) | (t.dirty ? 1u : 0u);
    std::uint8_t* out = &store.slw_buff[store.slw_pos];
    out[0] = static_cast<std::uint8_t>(record >> 24);
    out[1] = static_cast<std::uint8_t>(record >> 16);
    out[2] = static_cast<std::uint8_t>(record >> 8);
    out[3] = static_cast<std::uint8_t>(record);
    store.slw_pos += k_six_letter_record_size;
    ++(t.dirty ? store.dirty_six_letter_words : store.regular_six_letter_words);
    return 1;
  }
  return 0;
}

int end_token(word_store& store, token& t) {
  const int stored = t.length != 0 ? store_token(store, t) : 0;
  t = token{};
  return stored;
}

int end_line(word_store& store, line_state& line) {
  const int stored = end_token(store, line.current);
  ++store.lines_processed;
  line = line_state{};
  return stored;
}

// Scans one block; returns the number of words stored from it.
int scan_block(word_store& store, line_state& line, const std::uint8_t* bytes, std::size_t size) {
  int stored = 0;
  for (std::size_t i = 0; i < size; ++i) {
    const std::uint8_t byte = bytes[i];
    const byte_class kind = k_classes[byte];
    if (line.after_cr) {
      line.after_cr = false;
      if (kind == k_lf) {
        continue;
      }
    }
    if (kind == k_lf || kind == k_cr) {
      stored += end_line(store, line);
      line.after_cr = kind == k_cr;
      continue;
    }
    const std::uint32_t position = line.line_bytes;
    line.line_bytes += position < 2 ? 1 : 0;
    if (line.skipping) {
      continue;
    }
    switch (kind) {
      case k_letter:
        add_byte(line.current, byte);
        break;
      case k_delimiter:
        stored += end_token(store, line.current);
        break;
      case k_nul:
        stored += end_token(store, line.current);
        line.skipping = true;
        break;
      case k_slash:
        if (position == 1 && line.first_is_slash) {
          line.current = token{};
          line.skipping = true;
          break;
        }
        line.first_is_slash = position == 0;
        add_byte(line.current, byte);
        break;
      default:
        break;
    }
  }
  return stored;
}

}  // namespace

word_list_result read_word_list(std::FILE* stream, std::int64_t byte_limit) {
  word_list_result result;
  if (stream == nullptr) {
    return result;
  }
  // Fixed block: memory stays the same however long the lines are.
  static std::array<std::uint8_t, 64 * 1024> block;
  line_state line;
  while (result.bytes_read <= byte_limit) {
    const std::int64_t wanted = std::min<std::int64_t>(
        static_cast<std::int64_t>(block.size()), byte_limit + 1 - result.bytes_read);
    const std::size_t got = std::fread(block.data(), 1, static_cast<std::size_t>(wanted), stream);
    result.bytes_read += static_cast<std::int64_t>(got);
    result.words += scan_block(g_word_store, line, block.data(), got);
    if (got < static_cast<std::size_t>(wanted)) {
      result.read_failed = std::ferror(stream) != 0;
      break;
    }
  }
  if (line.line_bytes != 0) {
    result.words += end_line(g_word_store, line);
  }
  return result;
}
