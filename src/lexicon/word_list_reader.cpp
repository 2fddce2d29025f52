#include "lexicon/word_list_reader.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "lexicon/layout.hpp"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && \
    !defined(ZIVAVOD_PORTABLE_ONLY)
#include <immintrin.h>
#define ZIVAVOD_READER_AVX2 1
#endif

// The reader turns the text into 64-bit masks, one bit a byte, and finds lines, comments and
// words with integer operations on them, a window of 64 bytes at a time. The first 8 bytes of a
// window are the last 8 of the window before, so looking back up to 7 bytes is a plain shift,
// and no line or token notices where a window or a block ends. Only two small steps depend on
// the machine: turning bytes into masks (a vector unit does a window in a few instructions, the
// portable code eight bytes at a time in a 64-bit integer) and gathering a word's letter codes.
// Memory stays one fixed block however long the lines are.

namespace {

constexpr std::size_t k_window = 64;
constexpr std::size_t k_history = 8;  // bytes a window shares with the one before
constexpr std::size_t k_step = k_window - k_history;
constexpr std::uint64_t k_own = ~std::uint64_t{0xFF};  // the bytes a window answers for
constexpr std::size_t k_block_size = std::size_t{64} * 1024;
// Room in front of a block for the history and the bytes no window has taken yet (< a step).
constexpr std::size_t k_front = k_window;

// Where each kind of byte sits in one window.
struct window_masks {
  std::uint64_t separator = 0;  // space, comma, full stop, LF, CR and the zero byte
  std::uint64_t lf = 0;
  bool rare = false;  // the window holds a slash, CR or zero byte; only then is slash set
  std::uint64_t slash = 0;
  bool unusual = false;  // the window holds a CR or zero byte; only then are cr and nul set
  std::uint64_t cr = 0;
  std::uint64_t nul = 0;
};

// What the scan carries from one window to the next.
struct scan_state {
  std::uint64_t cut = 0;  // 1 while cut text runs on into the next window, else 0
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
record_table open_table(std::span<std::uint8_t> buffer, std::size_t pos, std::size_t size) {
  const std::size_t limit = buffer.size() > size ? buffer.size() - size : 0;
  return {buffer.data() + pos, buffer.data() + limit, 0};
}

// The sink over the store's buffers, at its write positions.
record_sink open_sink(const word_store& store) {
  return {open_table(store.slw_buff, store.slw_pos, k_six_letter_record_size),
          open_table(store.flw_buff, store.flw_pos, k_four_letter_record_size)};
}

// Moves what the sink stored into the store's positions and counters; returns the records.
std::int32_t close_sink(const record_sink& sink, word_store& store) {
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

constexpr std::uint64_t k_ones = 0x0101010101010101u;

// The 8 bytes at p as one number, the first byte highest. Every byte a word can end at has a
// window's slack behind it in the buffer, so reading past a word is safe.
std::uint64_t load_big_endian(const std::uint8_t* p) {
  std::uint64_t value = 0;
  std::memcpy(&value, p, sizeof value);  // one load; a byte loop costs a word ten instructions
  if constexpr (std::endian::native == std::endian::little) {
    value = __builtin_bswap64(value);
  }
  return value;
}

// 0x80 in each byte that is A to Z. Each byte's sums stay inside it.
std::uint64_t upper_case_bytes(std::uint64_t bytes) {
  const std::uint64_t low7 = bytes & (k_ones * 0x7F);
  return (k_ones * (127 + 'Z' + 1) - low7) & ~bytes & (low7 + k_ones * (127 - ('A' - 1))) &
         (k_ones * 0x80);
}

// The word's bytes, which fill the low bytes of bytes, as letter codes in the low five bits of
// each byte (the packing below takes those bits alone). A token byte is never zero, so no byte
// borrows from the one above it.
std::uint64_t letter_codes(std::uint64_t bytes) { return bytes - k_ones; }
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
template <typename machine>
void store_four(record_sink& sink, const std::uint8_t* word) {
  const std::uint64_t bytes = load_big_endian(word) >> 32;
  append_record<k_four_letter_record_size>(
      sink.four, machine::pack_four(letter_codes(bytes)) << k_four_letter_spare_bits,
      upper_case_bytes(bytes) != 0);
}

// Appends the record of the six-letter word at word: six letter codes, then the spare bits.
template <typename machine>
void store_six(record_sink& sink, const std::uint8_t* word) {
  const std::uint64_t bytes = load_big_endian(word) >> 16;
  append_record<k_six_letter_record_size>(
      sink.six, machine::pack_six(letter_codes(bytes)) << k_six_letter_spare_bits,
      upper_case_bytes(bytes) != 0);
}

// Counts the window's line ends, finds its cut text and stores the 4- and 6-byte tokens that end
// in it (a token ends at the separator behind it). base is the window's first byte.
template <typename machine>
[[gnu::always_inline]] inline void scan_window(scan_state& s, const window_masks& m,
                                               const std::uint8_t* base, record_sink& sink) {
  std::uint64_t line_ends = m.lf;
  std::uint64_t cut = 0;
  if (m.rare || s.cut != 0) {
    if (m.unusual) {
      line_ends |= m.cr;
      // An LF right after a CR belongs to the same line end.
      s.lines -= machine::count_ones(m.lf & (m.cr << 1) & k_own);
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
    const std::uint64_t starts = ((comments | m.nul) & k_own) | s.cut;
    const std::uint64_t text = ~line_ends | ~k_own;
    const std::uint64_t sum = text + starts;
    cut = text & ~sum;
    s.cut = sum < text ? 1 : 0;
  }
  s.lines += machine::count_ones(line_ends & k_own);

  // A word ends at a separator with exactly 4 or 6 token bytes before it.
  const std::uint64_t separator = m.separator | cut;
  const std::uint64_t within2 = separator | (separator << 1);  // a separator here or 1 back
  const std::uint64_t within4 = within2 | (within2 << 2);      // ... up to 3 back
  const std::uint64_t long_ends = separator & ~(within4 << 1) & k_own;  // 4 token bytes before
  const std::uint64_t ends4 = long_ends & (separator << 5);
  const std::uint64_t ends6 = long_ends & ~(within2 << 5) & (separator << 7);
  // Each length has its own buffer, so each only needs its own words in order.
  for (std::uint64_t ends = ends6; ends != 0; ends &= ends - 1) {
    store_six<machine>(sink, base + std::countr_zero(ends) - 6);
  }
  for (std::uint64_t ends = ends4; ends != 0; ends &= ends - 1) {
    store_four<machine>(sink, base + std::countr_zero(ends) - 4);
  }
}

// Scans the windows whose own bytes lie in [bytes, bytes + size); the 8 bytes before bytes are
// the history. Returns how many bytes it took; the rest (less than a step) wait for more text.
template <typename machine>
[[gnu::always_inline]] inline std::size_t scan_bytes(scan_state& state, const std::uint8_t* bytes,
                                                     std::size_t size, word_store& store) {
  scan_state s = state;  // in registers, like the sink
  record_sink sink = open_sink(store);
  const std::size_t taken = size / k_step * k_step;
  const std::uint8_t* const end = bytes + taken - k_history;
  for (const std::uint8_t* base = bytes - k_history; base != end; base += k_step) {
    scan_window<machine>(s, machine::classify(base), base, sink);
  }
  state = s;
  state.words += close_sink(sink, store);
  return taken;
}

// Scans the last size (< a step) bytes of the text. The bytes behind them count as separators,
// which ends a word in the text's last bytes; the buffer has a window's slack behind them.
template <typename machine>
void scan_end(scan_state& s, const std::uint8_t* bytes, std::size_t size, word_store& store) {
  const std::uint8_t* const base = bytes - k_history;
  const std::uint64_t valid = (std::uint64_t{1} << (k_history + size)) - 1;
  window_masks m = machine::classify(base);
  m.separator |= ~valid;
  m.lf &= valid;
  m.slash &= valid;
  m.cr &= valid;
  m.nul &= valid;
  record_sink sink = open_sink(store);
  scan_window<machine>(s, m, base, sink);
  s.words += close_sink(sink, store);
}

// 0x80 in each byte of bytes that equals c, 0 in the others.
std::uint64_t equal_bytes(std::uint64_t bytes, std::uint8_t c) {
  const std::uint64_t low7 = k_ones * 0x7F;
  const std::uint64_t diff = bytes ^ (k_ones * c);
  return ~(((diff & low7) + low7) | diff) & (k_ones * 0x80);
}

// The 0x80 flags of the 8 bytes as 8 bits, the first byte's lowest, moved to bit at.
std::uint64_t flag_bits(std::uint64_t flags, std::size_t at) {
  return (((flags >> 7) * 0x0102040810204080u) >> 56) << at;
}

// Runs on any machine: masks 8 bytes at a time in a 64-bit integer, letter codes gathered
// pairwise.
struct portable_machine {
  static window_masks classify(const std::uint8_t* bytes) {
    window_masks m;
    for (std::size_t at = 0; at < k_window; at += 8) {
      std::uint64_t eight = 0;
      for (std::size_t i = 0; i < 8; ++i) {
        eight |= std::uint64_t{bytes[at + i]} << (8 * i);  // first byte lowest, on any machine
      }
      const std::uint64_t lf = equal_bytes(eight, '\n');
      const std::uint64_t cr = equal_bytes(eight, '\r');
      const std::uint64_t nul = equal_bytes(eight, '\0');
      const std::uint64_t slash = equal_bytes(eight, '/');
      // Comma and full stop differ only in bit 1.
      const std::uint64_t separator =
          equal_bytes(eight, ' ') | equal_bytes(eight | k_ones * 2, '.') | lf | cr | nul;
      m.separator |= flag_bits(separator, at);
      m.lf |= flag_bits(lf, at);
      if ((cr | nul | slash) != 0) {
        m.cr |= flag_bits(cr, at);
        m.nul |= flag_bits(nul, at);
        m.slash |= flag_bits(slash, at);
      }
    }
    m.unusual = (m.cr | m.nul) != 0;
    m.rare = m.unusual || m.slash != 0;
    return m;
  }

  // The set bits of bits, counted in halves, quarters and so on: a plain build would otherwise
  // call into libgcc for it.
  static int count_ones(std::uint64_t bits) {
    bits -= (bits >> 1) & 0x5555555555555555u;
    bits = (bits & 0x3333333333333333u) + ((bits >> 2) & 0x3333333333333333u);
    bits = (bits + (bits >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
    return static_cast<int>((bits * k_ones) >> 56);
  }

  // The low five bits of each of the low 4 bytes, side by side, the highest byte's first.
  static std::uint32_t pack_four(std::uint64_t codes) {
    const std::uint64_t pairs = (codes & 0x001F001Fu) | ((codes >> 3) & 0x03E003E0u);
    return static_cast<std::uint32_t>((pairs & 0x3FFu) | ((pairs >> 6) & 0xFFC00u));
  }

  // The same for the low 6 bytes: pairs, then two pairs, then all three.
  static std::uint32_t pack_six(std::uint64_t codes) {
    const std::uint64_t pairs = (codes & 0x001F001F001Fu) | ((codes >> 3) & 0x03E003E003E0u);
    const std::uint64_t quads = (pairs & 0x3FF000003FFu) | ((pairs >> 6) & 0xFFC00u);
    return static_cast<std::uint32_t>((quads & 0xFFFFFu) | ((quads >> 12) & 0x3FF00000u));
  }
};

// scan_bytes for any machine.
std::size_t scan_portable(scan_state& s, const std::uint8_t* bytes, std::size_t size,
                          word_store& store) {
  return scan_bytes<portable_machine>(s, bytes, size, store);
}

#ifdef ZIVAVOD_READER_AVX2
#define ZIVAVOD_AVX2 gnu::target("avx2,bmi,bmi2")

// One bit a byte from the compare results of a window's two halves.
[[ZIVAVOD_AVX2]] inline std::uint64_t bits(__m256i low, __m256i high) {
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(low)) |
         (static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(high))) << 32);
}

// 0xFF in each byte equal to c.
[[ZIVAVOD_AVX2]] inline __m256i equal(__m256i bytes, char c) {
  return _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8(c));
}

// Looking a byte's low four bits up in a table that holds, at each position, the one byte of a
// class with those low bits gives the byte back exactly when it is in the class. Bytes from 0x80
// up look up zero and match only a zero entry.
[[ZIVAVOD_AVX2]] inline __m256i in_class(__m256i bytes, __m256i table) {
  return _mm256_cmpeq_epi8(bytes, _mm256_shuffle_epi8(table, bytes));
}

// The look-up table of a class, by low four bits; -1 where the class has no byte.
[[ZIVAVOD_AVX2]] inline __m256i class_table(char at0, char at10, char at12, char at13, char at14,
                                            char at15) {
  return _mm256_setr_epi8(at0, -1, -1, -1, -1, -1, -1, -1, -1, -1, at10, -1, at12, at13, at14, at15,
                          at0, -1, -1, -1, -1, -1, -1, -1, -1, -1, at10, -1, at12, at13, at14,
                          at15);
}

// True when either half has a byte set.
[[ZIVAVOD_AVX2]] inline bool any(__m256i low, __m256i high) {
  const __m256i both = _mm256_or_si256(low, high);
  return _mm256_testz_si256(both, both) == 0;
}

// AVX2 for the masks, BMI2's bit gather for the letter codes.
struct avx2_machine {
  [[ZIVAVOD_AVX2]] static window_masks classify(const std::uint8_t* bytes) {
    // Space, LF, comma, CR and full stop differ in their low four bits. The zero byte shares
    // them with space; like the slash and CR it is rare in a word list and is looked at only
    // when a window holds one.
    const __m256i separators = class_table(' ', '\n', ',', '\r', '.', -1);
    const __m256i rare = class_table('\0', -1, -1, '\r', -1, '/');
    const __m256i unusual = class_table('\0', -1, -1, '\r', -1, -1);
    const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes));
    const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + 32));
    window_masks m;
    m.separator = bits(in_class(low, separators), in_class(high, separators));
    m.lf = bits(equal(low, '\n'), equal(high, '\n'));
    const __m256i rare_low = in_class(low, rare);
    const __m256i rare_high = in_class(high, rare);
    m.rare = any(rare_low, rare_high);
    if (m.rare) {
      m.slash = bits(rare_low, rare_high);  // with any CR and zero byte, taken out below
      m.unusual = any(in_class(low, unusual), in_class(high, unusual));
      if (m.unusual) {
        m.cr = bits(equal(low, '\r'), equal(high, '\r'));
        m.nul = bits(equal(low, '\0'), equal(high, '\0'));
        m.slash &= ~(m.cr | m.nul);
        m.separator |= m.nul;
      }
    }
    return m;
  }

  [[ZIVAVOD_AVX2]] static int count_ones(std::uint64_t bits) { return std::popcount(bits); }

  [[ZIVAVOD_AVX2]] static std::uint32_t pack_four(std::uint64_t codes) {
    return static_cast<std::uint32_t>(_pext_u64(codes, 0x1F1F1F1Fu));
  }

  [[ZIVAVOD_AVX2]] static std::uint32_t pack_six(std::uint64_t codes) {
    return static_cast<std::uint32_t>(_pext_u64(codes, 0x1F1F1F1F1F1Fu));
  }
};

// Flattened so that the machine's steps and the window scan become one loop compiled for it.
[[ZIVAVOD_AVX2, gnu::flatten]] std::size_t scan_avx2(scan_state& s, const std::uint8_t* bytes,
                                                     std::size_t size, word_store& store) {
  return scan_bytes<avx2_machine>(s, bytes, size, store);
}
#undef ZIVAVOD_AVX2
#endif

using scan_fn = std::size_t (*)(scan_state&, const std::uint8_t*, std::size_t, word_store&);

// The fastest scan this processor runs.
scan_fn pick_scan() {
#ifdef ZIVAVOD_READER_AVX2
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
      __builtin_cpu_supports("bmi2")) {
    return scan_avx2;
  }
#endif
  return scan_portable;
}

}  // namespace

word_list_result read_word_list(std::FILE* stream, word_store& store, std::int64_t byte_limit) {
  word_list_result result;
  if (stream == nullptr) {
    return result;
  }
  // One fixed block; in front of it what the next window needs from the block before, behind it
  // a window's slack for the last window and for reading past a word.
  static std::array<std::uint8_t, k_front + k_block_size + k_window> buffer;
  std::uint8_t* const block = buffer.data() + k_front;
  // Before the text the scan sees line ends: the first byte starts a line and a token.
  std::fill(buffer.begin(), buffer.begin() + k_front, std::uint8_t{'\n'});
  const scan_fn scan = pick_scan();
  scan_state state;
  std::size_t pending = 0;  // bytes right before the block that no window has taken yet
  std::uint8_t last_byte = '\n';
  while (result.bytes_read <= byte_limit) {
    const std::int64_t wanted = std::min<std::int64_t>(static_cast<std::int64_t>(k_block_size),
                                                       byte_limit + 1 - result.bytes_read);
    const std::size_t got = std::fread(block, 1, static_cast<std::size_t>(wanted), stream);
    // A byte order mark is not text: the first block's scan starts behind it.
    std::size_t skipped = 0;
    if (result.bytes_read == 0 && got >= 2) {
      if ((block[0] == 0xFF && block[1] == 0xFE) || (block[0] == 0xFE && block[1] == 0xFF)) {
        result.bytes_read = static_cast<std::int64_t>(got);
        result.utf16 = true;
        return result;
      }
      if (got >= 3 && block[0] == 0xEF && block[1] == 0xBB && block[2] == 0xBF) {
        skipped = 3;
        std::fill(block, block + skipped, std::uint8_t{'\n'});  // the history before the text
      }
    }
    result.bytes_read += static_cast<std::int64_t>(got);
    if (got != 0) {
      last_byte = block[got - 1];
    }
    std::uint8_t* const text = block - pending + skipped;
    const std::size_t size = pending + got - skipped;
    const std::size_t taken = scan(state, text, size, store);
    pending = size - taken;
    // The next window needs its history and the untaken bytes right before the block.
    std::memmove(block - pending - k_history, text + taken - k_history, pending + k_history);
    if (got < static_cast<std::size_t>(wanted)) {
      result.read_failed = std::ferror(stream) != 0;
      break;
    }
  }
  scan_end<portable_machine>(state, block - pending, pending, store);
  // The last line needs no line end.
  const bool open_line = last_byte != '\n' && last_byte != '\r';
  store.lines_processed += static_cast<std::int32_t>(state.lines + (open_line ? 1 : 0));
  result.words = state.words;
  return result;
}
