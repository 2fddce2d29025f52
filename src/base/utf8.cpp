#include "base/utf8.hpp"

bool is_utf8(std::span<const std::uint8_t> text, std::size_t& at) {
  for (at = 0; at < text.size();) {
    const unsigned lead = text[at];
    // The continuation bytes a lead byte takes, and the smallest code point it may encode.
    const std::size_t extra = lead < 0x80 ? 0 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
    const std::uint32_t least = extra == 0 ? 0 : extra == 1 ? 0x80 : extra == 2 ? 0x800 : 0x10000;
    if ((lead >= 0x80 && lead < 0xC0) || lead > 0xF7 || text.size() - at <= extra) {
      return false;
    }
    std::uint32_t code = extra == 0 ? lead : lead & (0x3Fu >> extra);
    for (std::size_t i = 1; i <= extra; ++i) {
      if ((text[at + i] & 0xC0) != 0x80) {
        return false;
      }
      code = (code << 6) | (text[at + i] & 0x3Fu);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
    at += extra + 1;
  }
  return true;
}
