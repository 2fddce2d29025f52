// Fuzz target: the word list reader. The first input byte picks the conditions, the rest is the
// file's text:
//   bit 0  small record buffers (1 to 32 bytes each, from the next two bytes), so that words
//          are refused when a buffer is full;
//   bit 1  a small byte limit (0 to 63, from the next byte), to cut the stream short;
//   bits 2 and 3 both set: the text repeated to past 64 KiB, so lines, tokens and line ends
//          cross the reader's block boundary (a slow case, so only one input in four).
// The records, counters and result are compared with a plain restatement of the reading rules.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "lexicon/word_list_reader.hpp"
#include "lexicon/word_store.hpp"

namespace {

void check(bool condition, const char* what) {
  if (!condition) {
    (void)std::fprintf(stderr, "word_list_fuzzer: %s\n", what);
    std::abort();
  }
}

struct expected_words {
  std::vector<std::uint8_t> six;
  std::vector<std::uint8_t> four;
  std::int32_t lines = 0;
  std::int32_t regular_four = 0, regular_six = 0, dirty_four = 0, dirty_six = 0;
  std::int32_t words = 0;
};

class restatement {
 public:
  restatement(std::size_t six_capacity, std::size_t four_capacity)
      : six_capacity_(six_capacity), four_capacity_(four_capacity) {}

  // Lines end at LF, at CR, and at CR LF taken together.
  void read(std::string_view text) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] != '\n' && text[i] != '\r') {
        continue;
      }
      end_line(text.substr(start, i - start));
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
        ++i;
      }
      start = i + 1;
    }
    if (start < text.size()) {
      end_line(text.substr(start));
    }
  }

  expected_words result;

 private:
  // A zero byte ends the text; "//" at its start makes the line a comment; tokens split at
  // space, comma and full stop.
  void end_line(std::string_view line) {
    ++result.lines;
    const std::string_view text = line.substr(0, line.find('\0'));
    if (text.starts_with("//")) {
      return;
    }
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
      if (i == text.size() || text[i] == ' ' || text[i] == ',' || text[i] == '.') {
        store(text.substr(start, i - start));
        start = i + 1;
      }
    }
  }

  void store(std::string_view token) {
    if (token.size() != 4 && token.size() != 6) {
      return;
    }
    std::uint32_t value = 0;
    bool dirty = false;
    for (const char c : token) {
      const auto byte = static_cast<std::uint8_t>(c);
      dirty = dirty || (byte >= 'A' && byte <= 'Z');
      value = (value << 5) | (static_cast<std::uint32_t>(byte - 1) & 0x1F);
    }
    std::vector<std::uint8_t>& records = token.size() == 4 ? result.four : result.six;
    const std::size_t record_size = token.size() == 4 ? 3 : 4;
    const std::size_t capacity = token.size() == 4 ? four_capacity_ : six_capacity_;
    // A record is stored only while at least one byte of its buffer stays free behind it.
    if (records.size() + record_size >= capacity) {
      return;
    }
    value = (value << (token.size() == 4 ? 4 : 2)) | (dirty ? 1 : 0);
    for (std::size_t i = record_size; i-- > 0;) {
      records.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
    ++(token.size() == 4 ? (dirty ? result.dirty_four : result.regular_four)
                         : (dirty ? result.dirty_six : result.regular_six));
    ++result.words;
  }

  std::size_t six_capacity_;
  std::size_t four_capacity_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::uint8_t mode = input.empty() ? 0 : static_cast<std::uint8_t>(input[0]);
  input.remove_prefix(input.empty() ? 0 : 1);
  auto take = [&input]() {
    const std::uint8_t value = input.empty() ? 0 : static_cast<std::uint8_t>(input[0]);
    input.remove_prefix(input.empty() ? 0 : 1);
    return value;
  };
  std::size_t six_capacity = k_word_buffer_size;
  std::size_t four_capacity = k_word_buffer_size;
  std::int64_t byte_limit = k_word_buffer_size;
  if ((mode & 1) != 0) {
    six_capacity = 1 + take() % 32;
    four_capacity = 1 + take() % 32;
  }
  if ((mode & 2) != 0) {
    byte_limit = take() % 64;
  }
  std::string text(input);
  if ((mode & 0x0C) == 0x0C && !input.empty()) {
    constexpr std::size_t k_past_block = 64 * 1024 + 1024;
    text.reserve(k_past_block + input.size());
    while (text.size() < k_past_block) {
      text += input;
    }
  }

  // Buffers of exactly the chosen sizes, so that a write past either end is caught. The full
  // ones are kept from input to input: allocating them each time would cost most of the run.
  static std::vector<std::uint8_t> full_six(k_word_buffer_size);
  static std::vector<std::uint8_t> full_four(k_word_buffer_size);
  std::vector<std::uint8_t> small_six;
  std::vector<std::uint8_t> small_four;
  std::span<std::uint8_t> six_buffer = full_six;
  std::span<std::uint8_t> four_buffer = full_four;
  if ((mode & 1) != 0) {
    small_six.resize(six_capacity);
    small_four.resize(four_capacity);
    six_buffer = small_six;
    four_buffer = small_four;
  }
  g_word_store = word_store{};
  g_word_store.slw_buff = six_buffer;
  g_word_store.flw_buff = four_buffer;

  static char empty[1] = {0};
  std::FILE* const stream = fmemopen(text.empty() ? empty : text.data(), text.size(), "r");
  check(stream != nullptr, "fmemopen failed");
  const word_list_result got = read_word_list(stream, byte_limit);
  (void)std::fclose(stream);

  // The reader takes the stream up to one byte past the limit, and that byte counts too.
  const auto readable = static_cast<std::size_t>(
      std::min<std::int64_t>(static_cast<std::int64_t>(text.size()), byte_limit + 1));
  // A UTF-8 byte order mark is skipped; a UTF-16 one refuses the text.
  std::string_view read = std::string_view(text).substr(0, readable);
  const bool utf16 = read.starts_with("\xFF\xFE") || read.starts_with("\xFE\xFF");
  check(got.utf16 == utf16, "UTF-16 byte order mark not told apart");
  if (read.starts_with("\xEF\xBB\xBF")) {
    read.remove_prefix(3);
  }
  restatement expected(six_capacity, four_capacity);
  expected.read(utf16 ? std::string_view() : read);
  const expected_words& want = expected.result;

  check(utf16 || got.bytes_read == static_cast<std::int64_t>(readable), "bytes read differ");
  check(!got.read_failed, "a memory stream reported a read error");
  check(got.words == want.words, "word count differs");
  check(g_word_store.lines_processed == want.lines, "line count differs");
  check(g_word_store.regular_four_letter_words == want.regular_four, "regular four differ");
  check(g_word_store.dirty_four_letter_words == want.dirty_four, "dirty four differ");
  check(g_word_store.regular_six_letter_words == want.regular_six, "regular six differ");
  check(g_word_store.dirty_six_letter_words == want.dirty_six, "dirty six differ");
  check(g_word_store.slw_pos == want.six.size(), "six-letter position differs");
  check(g_word_store.flw_pos == want.four.size(), "four-letter position differs");
  check(std::equal(want.six.begin(), want.six.end(), six_buffer.begin()),
        "six-letter records differ");
  check(std::equal(want.four.begin(), want.four.end(), four_buffer.begin()),
        "four-letter records differ");
  g_word_store = word_store{};
  return 0;
}
