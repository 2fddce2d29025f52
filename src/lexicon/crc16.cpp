#include "lexicon/crc16.hpp"

#include <array>
#include <cstddef>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && \
    !defined(ZIVAVOD_PORTABLE_ONLY)
#include <immintrin.h>
#define ZIVAVOD_CRC_CLMUL 1
#endif

namespace {

constexpr std::uint16_t k_crc_start = 0xFFFF;

// The shift-and-XOR form: a byte in a handful of operations, with no table to keep in cache.
std::uint16_t crc16_bytes(std::uint16_t crc, const std::uint8_t* bytes, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    crc = static_cast<std::uint16_t>((crc >> 8) | (crc << 8));
    crc ^= bytes[i];
    crc ^= static_cast<std::uint16_t>((crc & 0xFF) >> 4);
    crc ^= static_cast<std::uint16_t>(crc << 12);
    crc ^= static_cast<std::uint16_t>((crc & 0xFF) << 5);
  }
  return crc;
}

#ifdef ZIVAVOD_CRC_CLMUL
// A CRC is the remainder of the message, as a polynomial over GF(2) with the first bit highest,
// times x^16 divided by P = x^16 + x^12 + x^5 + 1. Carry-less multiplication folds 16 bytes at
// a time into a 128-bit value with the same remainder, and the byte loop finishes on the last
// 8 bytes: some 10 instructions for 16 bytes instead of about 16 a byte.

// x^n mod P.
constexpr std::uint64_t x_power_mod(int n) {
  std::uint32_t r = 1;
  for (int i = 0; i < n; ++i) {
    r <<= 1;
    if ((r & 0x10000u) != 0) {
      r ^= 0x11021u;
    }
  }
  return r;
}

// Below this many bytes the byte loop is as quick.
constexpr std::size_t k_fold_minimum = 64;

// The 16 bytes at bytes as one 128-bit polynomial, the first byte highest.
[[gnu::target("pclmul,ssse3")]] inline __m128i load_block(const std::uint8_t* bytes) {
  const __m128i reverse = _mm_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
  return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)), reverse);
}

// The CRC of size (16 or more) bytes, folded.
[[gnu::target("pclmul,ssse3")]] std::uint16_t crc16_folded(const std::uint8_t* bytes,
                                                           std::size_t size) {
  // The head that leaves whole 16-byte blocks goes through the byte loop; its CRC then stands in
  // for the start value, XORed into the first two bytes of the blocks.
  const std::size_t head = size % 16;
  const std::uint16_t head_crc = crc16_bytes(k_crc_start, bytes, head);
  // Low half: x^128 mod P, for the low 64 bits; high half: x^192 mod P, for the high 64 bits.
  const __m128i fold = _mm_set_epi64x(static_cast<long long>(x_power_mod(192)),
                                      static_cast<long long>(x_power_mod(128)));
  const std::uint64_t start_bits = std::uint64_t{head_crc} << 48;  // the CRC in the top 16 bits
  const __m128i start = _mm_set_epi64x(static_cast<long long>(start_bits), 0);
  __m128i value = _mm_xor_si128(load_block(bytes + head), start);
  for (std::size_t at = head + 16; at < size; at += 16) {
    value = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(value, fold, 0x00),
                                        _mm_clmulepi64_si128(value, fold, 0x11)),
                          load_block(bytes + at));
  }
  // Twice the high half times x^64 mod P, to 64 bits with the same remainder.
  const __m128i down = _mm_set_epi64x(0, static_cast<long long>(x_power_mod(64)));
  for (int i = 0; i < 2; ++i) {
    value = _mm_xor_si128(_mm_clmulepi64_si128(value, down, 0x01), _mm_move_epi64(value));
  }
  const auto rest = static_cast<std::uint64_t>(_mm_cvtsi128_si64(value));
  std::array<std::uint8_t, 8> rest_bytes{};
  for (std::size_t i = 0; i < rest_bytes.size(); ++i) {
    rest_bytes[i] = static_cast<std::uint8_t>(rest >> (56 - 8 * i));
  }
  return crc16_bytes(0, rest_bytes.data(), rest_bytes.size());
}
#endif

}  // namespace

std::uint16_t crc16_ccitt(std::span<const std::uint8_t> bytes) {
#ifdef ZIVAVOD_CRC_CLMUL
  __builtin_cpu_init();
  if (bytes.size() >= k_fold_minimum && __builtin_cpu_supports("pclmul") &&
      __builtin_cpu_supports("ssse3")) {
    return crc16_folded(bytes.data(), bytes.size());
  }
#endif
  return crc16_bytes(k_crc_start, bytes.data(), bytes.size());
}
