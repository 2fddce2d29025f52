#include "inspect/json_reader.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace {

// Longest path kept, and longest key; beyond them a path matches no field.
constexpr std::size_t k_max_path = 200;
constexpr std::size_t k_max_key = 64;

// The reader's place in the text and the path of the value it stands at.
struct json_reader {
  std::string_view text;
  std::span<json_field> fields;
  std::size_t at = 0;
  json_error error;
  std::array<char, k_max_path> path{};
  std::size_t path_length = 0;
  bool path_lost = false;  // the path outgrew path
};

// Notes the first error; returns false so that every caller can give up at once.
bool fail(json_reader& r, const char* what) {
  if (r.error.what == nullptr) {
    r.error = {what, r.at};
  }
  return false;
}

// The byte at the reader, or zero at the end (a zero byte is valid nowhere either).
char peek(const json_reader& r) { return r.at < r.text.size() ? r.text[r.at] : '\0'; }

void skip_space(json_reader& r) {
  while (peek(r) == ' ' || peek(r) == '\t' || peek(r) == '\n' || peek(r) == '\r') {
    ++r.at;
  }
}

// Puts c at out[length] when there is room; length counts on either way.
void put(std::span<char> out, std::size_t& length, std::uint32_t c) {
  if (length < out.size()) {
    out[length] = static_cast<char>(c);
  }
  ++length;
}

void put_utf8(std::span<char> out, std::size_t& length, std::uint32_t code) {
  if (code < 0x80) {
    put(out, length, code);
  } else if (code < 0x800) {
    put(out, length, 0xC0 | (code >> 6));
    put(out, length, 0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    put(out, length, 0xE0 | (code >> 12));
    put(out, length, 0x80 | ((code >> 6) & 0x3F));
    put(out, length, 0x80 | (code & 0x3F));
  } else {
    put(out, length, 0xF0 | (code >> 18));
    put(out, length, 0x80 | ((code >> 12) & 0x3F));
    put(out, length, 0x80 | ((code >> 6) & 0x3F));
    put(out, length, 0x80 | (code & 0x3F));
  }
}

// Reads the four hexadecimal digits of a \u escape.
bool read_hex4(json_reader& r, std::uint32_t& value) {
  value = 0;
  for (int i = 0; i < 4; ++i, ++r.at) {
    const char c = peek(r);
    const int digit = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
    if (digit < 0) {
      return fail(r, "a \\u escape without four hexadecimal digits");
    }
    value = value * 16 + static_cast<std::uint32_t>(digit);
  }
  return true;
}

// Reads the code point of the \u escape behind the backslash, a surrogate pair taken together.
bool read_unicode_escape(json_reader& r, std::uint32_t& code) {
  if (!read_hex4(r, code)) {
    return false;
  }
  if (code < 0xD800 || code > 0xDFFF) {
    return true;
  }
  // A high surrogate must be followed by the escape of a low one.
  if (code > 0xDBFF || peek(r) != '\\') {
    return fail(r, "an unpaired surrogate");
  }
  ++r.at;
  if (peek(r) != 'u') {
    return fail(r, "an unpaired surrogate");
  }
  ++r.at;
  std::uint32_t low = 0;
  if (!read_hex4(r, low)) {
    return false;
  }
  if (low < 0xDC00 || low > 0xDFFF) {
    return fail(r, "an unpaired surrogate");
  }
  code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
  return true;
}

// Reads the string at the reader (at its opening quote) into out, escapes undone; length is its
// whole length, even where out is too short for it.
bool read_string(json_reader& r, std::span<char> out, std::size_t& length) {
  constexpr std::string_view k_escapes = "\"\\/bfnrt";
  constexpr std::string_view k_escaped = "\"\\/\b\f\n\r\t";
  length = 0;
  ++r.at;
  while (true) {
    if (r.at >= r.text.size()) {
      return fail(r, "a string is not closed");
    }
    const auto c = static_cast<unsigned char>(r.text[r.at]);
    if (c < 0x20) {
      return fail(r, "a control character in a string");
    }
    ++r.at;
    if (c == '"') {
      return true;
    }
    if (c != '\\') {
      put(out, length, c);
      continue;
    }
    const std::size_t named = k_escapes.find(peek(r));
    if (named != std::string_view::npos) {
      ++r.at;
      put(out, length, static_cast<unsigned char>(k_escaped[named]));
    } else if (peek(r) == 'u') {
      ++r.at;
      std::uint32_t code = 0;
      if (!read_unicode_escape(r, code)) {
        return false;
      }
      put_utf8(out, length, code);
    } else {
      return fail(r, "an unknown escape");
    }
  }
}

bool read_number(json_reader& r) {
  const auto digits = [&r] {
    const std::size_t start = r.at;
    while (peek(r) >= '0' && peek(r) <= '9') {
      ++r.at;
    }
    return r.at - start;
  };
  if (peek(r) == '-') {
    ++r.at;
  }
  if (peek(r) == '0') {
    ++r.at;
  } else if (digits() == 0) {
    return fail(r, "a number without digits");
  }
  if (peek(r) == '.') {
    ++r.at;
    if (digits() == 0) {
      return fail(r, "a number without digits behind its point");
    }
  }
  if (peek(r) == 'e' || peek(r) == 'E') {
    ++r.at;
    if (peek(r) == '+' || peek(r) == '-') {
      ++r.at;
    }
    if (digits() == 0) {
      return fail(r, "a number without digits in its exponent");
    }
  }
  return true;
}

// The path as it was before a key or index was added.
struct path_mark {
  std::size_t length = 0;
  bool lost = false;
};

// Adds a key or an index to the path (a cut key loses it); restore_path takes it off again.
path_mark push_path(json_reader& r, std::string_view part, bool cut) {
  const path_mark before{r.path_length, r.path_lost};
  const std::size_t slash = r.path_length == 0 ? 0 : 1;
  if (cut || r.path_length + slash + part.size() > r.path.size()) {
    r.path_lost = true;
    return before;
  }
  if (slash != 0) {
    r.path[r.path_length++] = '/';
  }
  part.copy(&r.path[r.path_length], part.size());
  r.path_length += part.size();
  return before;
}

void restore_path(json_reader& r, path_mark before) {
  r.path_length = before.length;
  r.path_lost = before.lost;
}

// The field whose path the reader stands at, or null.
json_field* field_here(json_reader& r) {
  if (r.path_lost) {
    return nullptr;
  }
  const std::string_view here(r.path.data(), r.path_length);
  for (json_field& field : r.fields) {
    if (field.path == here) {
      if (field.kind != json_kind::absent) {
        fail(r, "a key repeated");
      }
      return &field;
    }
  }
  return nullptr;
}

bool read_value(json_reader& r, int depth);

// What follows a member of an object or an element of an array.
enum class item_end { more, closed, failed };

// Reads the value at the current path, then the comma or closing bracket behind it.
item_end read_item(json_reader& r, int depth, path_mark before, char close,
                   const char* missing) {
  if (!read_value(r, depth)) {
    return item_end::failed;
  }
  restore_path(r, before);
  skip_space(r);
  if (peek(r) == close) {
    ++r.at;
    return item_end::closed;
  }
  if (peek(r) != ',') {
    (void)fail(r, missing);
    return item_end::failed;
  }
  ++r.at;
  return item_end::more;
}

bool read_object(json_reader& r, int depth) {
  ++r.at;
  skip_space(r);
  if (peek(r) == '}') {
    ++r.at;
    return true;
  }
  while (true) {
    skip_space(r);
    if (peek(r) != '"') {
      return fail(r, "a key is missing");
    }
    std::array<char, k_max_key> key{};
    std::size_t key_length = 0;
    if (!read_string(r, key, key_length)) {
      return false;
    }
    skip_space(r);
    if (peek(r) != ':') {
      return fail(r, "a colon is missing");
    }
    ++r.at;
    skip_space(r);
    const path_mark before =
        push_path(r, {key.data(), std::min(key_length, key.size())}, key_length > key.size());
    const item_end end = read_item(r, depth, before, '}', "a comma or closing brace is missing");
    if (end != item_end::more) {
      return end == item_end::closed;
    }
  }
}

bool read_array(json_reader& r, int depth) {
  ++r.at;
  skip_space(r);
  if (peek(r) == ']') {
    ++r.at;
    return true;
  }
  for (std::size_t index = 0;; ++index) {
    skip_space(r);
    std::array<char, 24> digits{};
    const int length =
        std::snprintf(digits.data(), digits.size(), "%lu", static_cast<unsigned long>(index));
    const path_mark before = push_path(r, {digits.data(), static_cast<std::size_t>(length)}, false);
    const item_end end = read_item(r, depth, before, ']', "a comma or closing bracket is missing");
    if (end != item_end::more) {
      return end == item_end::closed;
    }
  }
}

bool read_value(json_reader& r, int depth) {
  if (depth > k_json_max_depth) {
    return fail(r, "nesting too deep");
  }
  json_field* const field = field_here(r);
  if (r.error.what != nullptr) {
    return false;
  }
  const char c = peek(r);
  const json_kind kind = c == '"'                             ? json_kind::string
                         : c == '-' || (c >= '0' && c <= '9') ? json_kind::number
                                                              : json_kind::other;
  if (field != nullptr) {
    field->kind = kind;
  }
  const std::span<char> out = field != nullptr ? std::span<char>(field->text) : std::span<char>();
  std::size_t length = 0;
  if (kind == json_kind::string) {
    const bool read = read_string(r, out, length);
    if (field != nullptr) {
      field->length = std::min(length, out.size());
    }
    return read;
  }
  if (kind == json_kind::number) {
    const std::size_t start = r.at;
    if (!read_number(r)) {
      return false;
    }
    if (field != nullptr) {
      field->length = r.text.copy(out.data(), std::min(r.at - start, out.size()), start);
    }
    return true;
  }
  if (c == '{') {
    return read_object(r, depth + 1);
  }
  if (c == '[') {
    return read_array(r, depth + 1);
  }
  for (const std::string_view literal : {"true", "false", "null"}) {
    if (r.text.substr(r.at).starts_with(literal)) {
      r.at += literal.size();
      return true;
    }
  }
  return fail(r, "no value");
}

}  // namespace

json_error read_json(std::string_view text, std::span<json_field> fields) {
  for (json_field& field : fields) {
    field.kind = json_kind::absent;
    field.length = 0;
  }
  json_reader r;
  r.text = text;
  r.fields = fields;
  skip_space(r);
  if (read_value(r, 0)) {
    skip_space(r);
    if (r.at != text.size()) {
      fail(r, "text behind the value");
    }
  }
  return r.error;
}
