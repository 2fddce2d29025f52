#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

// Nesting deeper than this is refused, which bounds the reader's recursion.
inline constexpr int k_json_max_depth = 32;
// Room for a value looked up; a longer one is cut to fit.
inline constexpr std::size_t k_json_text_size = 600;

enum class json_kind { absent, string, number, other };

// One value of a JSON text, looked up by its path: the keys from the top joined by '/', with
// array elements by their index ("manifest/application/softdevice_req/0").
struct json_field {
  std::string_view path;
  json_kind kind = json_kind::absent;         // what the text holds there
  std::array<char, k_json_text_size> text{};  // a string's bytes, escapes undone, or a number's
  std::size_t length = 0;                     // text, as a number is written; cut to fit text
};

// Where a text is not JSON, and why; what is null for a valid text.
struct json_error {
  const char* what = nullptr;
  std::size_t at = 0;  // byte offset
};

// Reads text as one JSON value (RFC 8259, strictly: no comments, trailing commas, single quotes,
// control characters in strings, unpaired surrogates or text behind the value; nesting at most
// k_json_max_depth) and fills each field whose path it holds. A field's path met twice is an
// error, as a key repeated there makes its value uncertain. Never reads outside text.
json_error read_json(std::string_view text, std::span<json_field> fields);
