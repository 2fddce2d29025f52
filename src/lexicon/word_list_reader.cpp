// The word-list reader's driver: fixed blocks of the file, the byte order mark, the bytes carried
// from one block to the next and the last line. The scan itself is in word_scan.hpp and its
// back ends; memory stays one fixed block however long the lines are.
#include "lexicon/word_list_reader.hpp"

#include <algorithm>
#include <array>
#include <cstring>

#include "lexicon/word_scan.hpp"

namespace {

using namespace word_scan;

constexpr std::size_t k_block_size = std::size_t{64} * 1024;
// Room in front of a block for the history and the bytes no window has taken yet (< a step).
constexpr std::size_t k_room_before_block = k_window;

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

std::span<const window_classifier> word_scan::window_classifiers() {
  static const std::array<window_classifier, 2> k_all{{
      {"portable", classify_portable},
#ifdef ZIVAVOD_READER_AVX2
      {"avx2", classify_avx2},
#endif
  }};
  const bool avx2 = pick_scan() != scan_portable;
  return std::span(k_all).first(avx2 ? 2 : 1);
}

word_list_result read_word_list(std::FILE* stream, word_store& store, std::int64_t byte_limit) {
  word_list_result result;
  if (stream == nullptr) {
    return result;
  }
  // One fixed block; in front of it what the next window needs from the block before, behind it
  // a window's slack for the last window and for reading past a word.
  static std::array<std::uint8_t, k_room_before_block + k_block_size + k_window> buffer;
  std::uint8_t* const block = buffer.data() + k_room_before_block;
  // Before the text the scan sees line ends: the first byte starts a line and a token.
  std::fill(buffer.begin(), buffer.begin() + k_room_before_block, std::uint8_t{'\n'});
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
  scan_end(state, block - pending, pending, store);
  // The last line needs no line end.
  const bool open_line = last_byte != '\n' && last_byte != '\r';
  store.lines_processed += static_cast<std::int32_t>(state.lines + (open_line ? 1 : 0));
  result.words = state.words;
  return result;
}
