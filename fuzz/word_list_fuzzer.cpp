// Fuzz target: the word list reader against the plain restatement of its rules. The first input
// byte picks the conditions, the rest is the file's text:
//   bit 0  small record buffers (1 to 32 bytes each, from the next two bytes), so that words
//          are refused when a buffer is full;
//   bit 1  a small byte limit (0 to 63, from the next byte), to cut the stream short;
//   bits 2 and 3 both set: the text repeated to past 64 KiB, so lines, tokens and line ends
//          cross the reader's block boundary.
#include <cstdio>
#include <cstdlib>

#include "lexicon/word_list_model.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  auto take = [&input] {
    const auto value = static_cast<std::uint8_t>(input.empty() ? 0 : input[0]);
    input.remove_prefix(input.empty() ? 0 : 1);
    return value;
  };
  const std::uint8_t mode = take();
  std::size_t six_capacity = k_word_buffer_size;
  std::size_t four_capacity = k_word_buffer_size;
  if ((mode & 1) != 0) {
    six_capacity = 1 + take() % 32;
    four_capacity = 1 + take() % 32;
  }
  const std::int64_t byte_limit = (mode & 2) != 0 ? take() % 64 : k_word_list_byte_limit;
  std::string text(input);
  while ((mode & 0x0C) == 0x0C && !input.empty() && text.size() < 65 * 1024) {
    text += input;
  }
  const std::string difference =
      word_list_difference(text, six_capacity, four_capacity, byte_limit);
  if (!difference.empty()) {
    (void)std::fprintf(stderr, "word_list_fuzzer: %s differ\n", difference.c_str());
    std::abort();
  }
  return 0;
}
