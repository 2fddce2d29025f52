#pragma once

// The word-list scan shared by the reader (word_list_reader.cpp) and its two back ends
// (word_scan_portable.cpp, word_scan_avx2.cpp).
//
// The scan turns the text into 64-bit masks, one bit a byte, and finds lines, comments and words
// with integer operations on them, a window of 64 bytes at a time. The first 8 bytes of a window
// are the last 8 of the window before, so looking back up to 7 bytes is a plain shift, and no
// line or token notices where a window or a block ends. Only two small steps depend on the
// back end: turning bytes into masks (a vector unit does a window in a few instructions, the
// portable code eight bytes at a time in a 64-bit integer) and gathering a word's letter codes.
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <span>

#include "lexicon/layout.hpp"
#include "lexicon/word_store.hpp"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && \
    !defined(ZIVAVOD_PORTABLE_ONLY)
#define ZIVAVOD_READER_AVX2 1
#define ZIVAVOD_AVX2 gnu::target("avx2,bmi,bmi2")
#endif

namespace word_scan {

inline constexpr std::size_t k_window = 64;
inline constexpr std::size_t k_history = 8;  // bytes a window shares with the one before
inline constexpr std::size_t k_step = k_window - k_history;
// The bytes a window answers for: all but the history, which the window before has counted.
inline constexpr std::uint64_t k_window_new_bytes = ~std::uint64_t{0xFF};

// What each byte means to the scan; every byte not listed is a token byte. Both back ends turn a
// window into exactly these masks (tests/lexicon/word_list_reader_test.cpp checks them byte by
// byte), so a change of the rules starts here.
struct byte_class {
  std::uint8_t byte = 0;
  bool separator = false;        // ends a token
  bool line_feed = false;        // ends a line
  bool slash = false;            // two at a line's start make it a comment
  bool carriage_return = false;  // ends a line; an LF right behind it belongs to the same end
  bool nul = false;              // cuts the rest of its line
};
inline constexpr std::array<byte_class, 7> k_byte_classes{{
    {.byte = ' ', .separator = true},
    {.byte = ',', .separator = true},
    {.byte = '.', .separator = true},
    {.byte = '\n', .separator = true, .line_feed = true},
    {.byte = '\r', .separator = true, .carriage_return = true},
    {.byte = '\0', .separator = true, .nul = true},
    {.byte = '/', .slash = true},
}};

// Where each kind of byte sits in one window. Slashes, CRs and zero bytes are rare in a word
// list: a back end may look for them only when a window holds one, and says so in the flags.
struct window_masks {
  std::uint64_t separator = 0;
  std::uint64_t lf = 0;
  bool has_slash_cr_or_nul = false;  // only then is slash set
  std::uint64_t slash = 0;
  bool has_cr_or_nul = false;  // only then are cr and nul set
  std::uint64_t cr = 0;
  std::uint64_t nul = 0;
};

// What the scan carries from one window to the next.
struct scan_state {
  std::uint64_t cut = 0;   // 1 while cut text runs on into the next window, else 0
  std::int64_t lines = 0;  // line ends seen
  std::int32_t words = 0;  // records stored
};

// One record buffer's write side: where the next record goes, the first place one may no
// longer go, and how many of the records written are dirty.
struct record_table {
  std::uint8_t* next = nullptr;
  std::uint8_t* limit = nullptr;
  std::int32_t dirty = 0;
};

// The word store's write side, in locals while a block is scanned so that it stays in
// registers: the record bytes written could otherwise alias any of it in memory.
struct record_sink {
  record_table six;   // slw_buff
  record_table four;  // flw_buff
};

// A record is stored only while a byte of its buffer stays free behind it; a refused word is
// dropped silently, and the image size check reports the overflow.
inline record_table open_table(std::span<std::uint8_t> buffer, std::size_t pos, std::size_t size) {
  const std::size_t limit = buffer.size() > size ? buffer.size() - size : 0;
  return {buffer.data() + pos, buffer.data() + limit, 0};
}

// The sink over the store's buffers, at its write positions.
inline record_sink open_sink(const word_store& store) {
  return {open_table(store.slw_buff, store.slw_pos, k_six_letter_record_size),
          open_table(store.flw_buff, store.flw_pos, k_four_letter_record_size)};
}

// Moves what the sink stored into the store's positions and counters; returns the records.
inline std::int32_t close_sink(const record_sink& sink, word_store& store) {
  const auto six_end = static_cast<std::size_t>(sink.six.next - store.slw_buff.data());
  const auto four_end = static_cast<std::size_t>(sink.four.next - store.flw_buff.data());
  const auto six = static_cast<std::int32_t>((six_end - store.slw_pos) / k_six_letter_record_size);
  const auto four =
      static_cast<std::int32_t>((four_end - store.flw_pos) / k_four_letter_record_size);
  store.slw_pos = six_end;
  store.flw_pos = four_end;
  store.dirty_six_letter_words += sink.six.dirty;
  store.regular_six_letter_words += six - sink.six.dirty;
  store.dirty_four_letter_words += sink.four.dirty;
  store.regular_four_letter_words += four - sink.four.dirty;
  return six + four;
}

inline constexpr std::uint64_t k_ones = 0x0101010101010101u;

// The 8 bytes at p as one number, the first byte highest. Every byte a word can end at has a
// window's slack behind it in the buffer, so reading past a word is safe.
inline std::uint64_t load_big_endian(const std::uint8_t* p) {
  std::uint64_t value = 0;
  std::memcpy(&value, p, sizeof value);  // one load; a byte loop costs a word ten instructions
  if constexpr (std::endian::native == std::endian::little) {
    value = __builtin_bswap64(value);
  }
  return value;
}

// 0x80 in each byte that is A to Z. Each byte's sums stay inside it.
inline std::uint64_t upper_case_bytes(std::uint64_t bytes) {
  const std::uint64_t low7 = bytes & (k_ones * 0x7F);
  return (k_ones * (127 + 'Z' + 1) - low7) & ~bytes & (low7 + k_ones * (127 - ('A' - 1))) &
         (k_ones * 0x80);
}

// The word's bytes, which fill the low bytes of bytes, as letter codes in the low five bits of
// each byte (the packing takes those bits alone). A token byte is never zero, so no byte borrows
// from the one above it.
inline std::uint64_t letter_codes(std::uint64_t bytes) { return bytes - k_ones; }
static_assert(k_letter_code_bits == 5, "the packing of letter codes takes five bits a byte");

// Appends the low size bytes of record, most significant first, with the dirty flag set,
// unless the table is full. The record goes out as one 4-byte store: behind a 3-byte record
// that is the byte kept free, which the next record overwrites and nothing reads.
template <std::size_t size>
void append_record(record_table& table, std::uint32_t record, bool dirty) {
  static_assert(size == 3 || size == 4);
  if (table.next >= table.limit) {
    return;
  }
  record = (record | (dirty ? k_dirty_flag : 0u)) << (8 * (4 - size));
  if constexpr (std::endian::native == std::endian::little) {
    record = __builtin_bswap32(record);
  }
  std::memcpy(table.next, &record, sizeof record);
  table.next += size;
  table.dirty += dirty ? 1 : 0;
}

// Appends the record of the four-letter word at word: four letter codes, then the spare bits.
template <typename simd_backend>
void store_four(record_sink& sink, const std::uint8_t* word) {
  const std::uint64_t bytes = load_big_endian(word) >> 32;
  append_record<k_four_letter_record_size>(
      sink.four, simd_backend::pack_four(letter_codes(bytes)) << k_four_letter_spare_bits,
      upper_case_bytes(bytes) != 0);
}

// Appends the record of the six-letter word at word: six letter codes, then the spare bits.
template <typename simd_backend>
void store_six(record_sink& sink, const std::uint8_t* word) {
  const std::uint64_t bytes = load_big_endian(word) >> 16;
  append_record<k_six_letter_record_size>(
      sink.six, simd_backend::pack_six(letter_codes(bytes)) << k_six_letter_spare_bits,
      upper_case_bytes(bytes) != 0);
}

// Counts the window's line ends, finds its cut text and stores the 4- and 6-byte tokens that end
// in it (a token ends at the separator behind it). base is the window's first byte.
template <typename simd_backend>
[[gnu::always_inline]] inline void scan_window(scan_state& s, const window_masks& m,
                                               const std::uint8_t* base, record_sink& sink) {
  std::uint64_t line_ends = m.lf;
  std::uint64_t cut = 0;
  if (m.has_slash_cr_or_nul || s.cut != 0) {
    if (m.has_cr_or_nul) {
      line_ends |= m.cr;
      // An LF right after a CR belongs to the same line end.
      s.lines -= simd_backend::count_ones(m.lf & (m.cr << 1) & k_window_new_bytes);
    }
    // A line's text is cut from its second leading slash, or from a zero byte, to its end.
    // Adding a cut's bit to the run of bytes that are not line ends carries through that run
    // and stops at the line end: the bits the carry turned from 1 to 0 are the cut bytes. A
    // carry out of the window's top comes back in at bit 0, and the history bits, all 1 here,
    // pass it to the first byte of the window's own. They come out cut then, as they must: a
    // word ending in this window's first bytes must not reach back into the cut text. A start
    // that a carry already passes is not marked, but it is a slash or zero byte inside text
    // cut anyway, so no word can hold it.
    const std::uint64_t comments = m.slash & (m.slash << 1) & (line_ends << 2);
    const std::uint64_t starts = ((comments | m.nul) & k_window_new_bytes) | s.cut;
    const std::uint64_t text = ~line_ends | ~k_window_new_bytes;
    const std::uint64_t sum = text + starts;
    cut = text & ~sum;
    s.cut = sum < text ? 1 : 0;
  }
  s.lines += simd_backend::count_ones(line_ends & k_window_new_bytes);

  // A word ends at a separator with exactly 4 or 6 token bytes before it.
  const std::uint64_t separator = m.separator | cut;
  const std::uint64_t within2 = separator | (separator << 1);  // a separator here or 1 back
  const std::uint64_t within4 = within2 | (within2 << 2);      // ... up to 3 back
  const std::uint64_t long_ends =
      separator & ~(within4 << 1) & k_window_new_bytes;  // 4 token bytes before
  const std::uint64_t ends4 = long_ends & (separator << 5);
  const std::uint64_t ends6 = long_ends & ~(within2 << 5) & (separator << 7);
  // Each length has its own buffer, so each only needs its own words in order.
  for (std::uint64_t ends = ends6; ends != 0; ends &= ends - 1) {
    store_six<simd_backend>(sink, base + std::countr_zero(ends) - 6);
  }
  for (std::uint64_t ends = ends4; ends != 0; ends &= ends - 1) {
    store_four<simd_backend>(sink, base + std::countr_zero(ends) - 4);
  }
}

// Scans the windows whose own bytes lie in [bytes, bytes + size); the 8 bytes before bytes are
// the history. Returns how many bytes it took; the rest (less than a step) wait for more text.
template <typename simd_backend>
[[gnu::always_inline]] inline std::size_t scan_bytes(scan_state& state, const std::uint8_t* bytes,
                                                     std::size_t size, word_store& store) {
  scan_state s = state;  // in registers, like the sink
  record_sink sink = open_sink(store);
  const std::size_t taken = size / k_step * k_step;
  const std::uint8_t* const end = bytes + taken - k_history;
  for (const std::uint8_t* base = bytes - k_history; base != end; base += k_step) {
    scan_window<simd_backend>(s, simd_backend::classify(base), base, sink);
  }
  state = s;
  state.words += close_sink(sink, store);
  return taken;
}

// scan_bytes on each back end, and the back ends' classify steps (for the check against
// k_byte_classes). The AVX2 ones exist only where built, and run only where the processor has
// AVX2, BMI and BMI2.
std::size_t scan_portable(scan_state& s, const std::uint8_t* bytes, std::size_t size,
                          word_store& store);
window_masks classify_portable(const std::uint8_t* window);
#ifdef ZIVAVOD_READER_AVX2
[[ZIVAVOD_AVX2]] std::size_t scan_avx2(scan_state& s, const std::uint8_t* bytes, std::size_t size,
                                       word_store& store);
[[ZIVAVOD_AVX2]] window_masks classify_avx2(const std::uint8_t* window);
#endif

// Scans the last size (< a step) bytes of the text with the portable back end. The bytes behind
// them count as separators, which ends a word in the text's last bytes; the buffer has a
// window's slack behind them.
void scan_end(scan_state& s, const std::uint8_t* bytes, std::size_t size, word_store& store);

// The classify steps this processor runs, by name: the portable one, then the AVX2 one.
struct window_classifier {
  const char* name;
  window_masks (*classify)(const std::uint8_t* window);
};
std::span<const window_classifier> window_classifiers();

}  // namespace word_scan
