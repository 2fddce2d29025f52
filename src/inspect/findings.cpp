#include "inspect/findings.hpp"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

std::size_t lexicon_space_used(const inspection& r) {
  return r.six.records.size() + r.four.records.size();
}

void note_problem(inspection& r, const char* format, ...) {
  if (r.problem_count == k_max_problems) {
    return;
  }
  r.problem_kinds[r.problem_count] = r.kind;
  text_line& line = r.problems[r.problem_count++];
  if (r.problem_count == k_max_problems) {
    r.problem_kinds[r.problem_count - 1] = problem_kind::too_many;
    (void)std::snprintf(line.data(), line.size(), "more problems than these");
    return;
  }
  va_list args;
  va_start(args, format);
  (void)std::vsnprintf(line.data(), line.size(), format, args);
  va_end(args);
  std::transform(line.begin(), std::find(line.begin(), line.end(), '\0'), line.begin(),
                 printable_char);
}

text_line printable(std::string_view text) {
  text_line line{};
  const std::size_t length = std::min(text.size(), line.size() - 1);
  std::transform(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length), line.begin(),
                 printable_char);
  return line;
}

std::array<char, k_word_text_size> word_text(std::span<const std::uint8_t> record,
                                             std::size_t letters) {
  std::array<std::uint8_t, 6> codes{};
  const bool dirty = decode_record(record, std::span(codes).first(std::min(letters, codes.size())));
  std::array<char, k_word_text_size> text{};
  std::size_t at = 0;
  for (std::size_t i = 0; i < std::min(letters, codes.size()); ++i) {
    if (codes[i] <= 'z' - 'a') {
      text[at++] = static_cast<char>('a' + codes[i]);
    } else {
      at += static_cast<std::size_t>(
          std::snprintf(&text[at], text.size() - at, "[%u]", unsigned{codes[i]}));
    }
  }
  if (dirty) {
    text[at] = '*';
  }
  return text;
}
