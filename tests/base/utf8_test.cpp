#include "base/utf8.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

bool utf8(std::string_view text, std::size_t& at) {
  return is_utf8({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}, at);
}

// The code point's UTF-8 bytes as the standard lays them out.
std::string encode(std::uint32_t code) {
  const auto byte = [](std::uint32_t b) { return static_cast<char>(b); };
  if (code < 0x80) {
    return {byte(code)};
  }
  if (code < 0x800) {
    return {byte(0xC0 | code >> 6), byte(0x80 | (code & 0x3F))};
  }
  if (code < 0x10000) {
    return {byte(0xE0 | code >> 12), byte(0x80 | (code >> 6 & 0x3F)), byte(0x80 | (code & 0x3F))};
  }
  return {byte(0xF0 | code >> 18), byte(0x80 | (code >> 12 & 0x3F)),
          byte(0x80 | (code >> 6 & 0x3F)), byte(0x80 | (code & 0x3F))};
}

TEST(IsUtf8, TakesEveryScalarValueAndNothingElse) {
  std::size_t at = 0;
  for (std::uint32_t code = 0; code <= 0x10FFFF; ++code) {
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    ASSERT_EQ(!surrogate, utf8("a" + encode(code), at)) << std::hex << code;
  }
  // Past U+10FFFF, overlong forms, a lone continuation byte, a cut sequence, bytes no
  // sequence begins with; at is where the bad sequence begins.
  for (const std::string_view bad :
       {"\xF4\x90\x80\x80", "\xC0\xAF", "\xC1\xBF", "\xE0\x9F\xBF", "\xF0\x8F\xBF\xBF", "\x80",
        "\xE2\x82", "\xF0\x9F\x98", "\xF8\x88\x80\x80\x80", "\xFF", "\xC3("}) {
    EXPECT_FALSE(utf8(std::string("ok") + std::string(bad), at)) << bad;
    EXPECT_EQ(2u, at) << bad;
  }
}

}  // namespace
