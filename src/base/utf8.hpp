#pragma once

// The one test of UTF-8 text, for the names zivavod writes into a package and those the
// inspector reads back.

#include <cstddef>
#include <cstdint>
#include <span>

// True when text is valid UTF-8: no ill-formed or overlong sequence, surrogate or code point
// past U+10FFFF. Where it is not, at is the offset of the first byte that is not.
bool is_utf8(std::span<const std::uint8_t> text, std::size_t& at);
