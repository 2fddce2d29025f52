// The word-list scan with AVX2 for the masks and BMI2's bit gather for the letter codes, for
// x86-64 processors that have them (word_list_reader.cpp asks the processor).
#include "lexicon/word_scan.hpp"

#ifdef ZIVAVOD_READER_AVX2
#include <immintrin.h>

namespace word_scan {

namespace {

// One bit a byte from the compare results of a window's two halves.
[[ZIVAVOD_AVX2]] inline std::uint64_t bits(__m256i low, __m256i high) {
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(low)) |
         (static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(high))) << 32);
}

// 0xFF in each byte equal to c.
[[ZIVAVOD_AVX2]] inline __m256i equal(__m256i bytes, char c) {
  return _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8(c));
}

// Looking a byte's low four bits up in a table that holds, at each position, the one byte of a
// class with those low bits gives the byte back exactly when it is in the class. Bytes from 0x80
// up look up zero and match only a zero entry.
[[ZIVAVOD_AVX2]] inline __m256i in_class(__m256i bytes, __m256i table) {
  return _mm256_cmpeq_epi8(bytes, _mm256_shuffle_epi8(table, bytes));
}

// The look-up table of a class, by low four bits; -1 where the class has no byte. One parameter
// for each position a class byte can take, so that a call reads as the table.
// NOLINTNEXTLINE(readability-function-size)
[[ZIVAVOD_AVX2]] inline __m256i class_table(char at0, char at10, char at12, char at13, char at14,
                                            char at15) {
  return _mm256_setr_epi8(at0, -1, -1, -1, -1, -1, -1, -1, -1, -1, at10, -1, at12, at13, at14, at15,
                          at0, -1, -1, -1, -1, -1, -1, -1, -1, -1, at10, -1, at12, at13, at14,
                          at15);
}

// True when either half has a byte set.
[[ZIVAVOD_AVX2]] inline bool any(__m256i low, __m256i high) {
  const __m256i both = _mm256_or_si256(low, high);
  return _mm256_testz_si256(both, both) == 0;
}

struct avx2_backend {
  [[ZIVAVOD_AVX2]] static window_masks classify(const std::uint8_t* bytes) {
    // Space, LF, comma, CR and full stop differ in their low four bits. The zero byte shares
    // them with space; like the slash and CR it is rare in a word list and is looked at only
    // when a window holds one.
    const __m256i separators = class_table(' ', '\n', ',', '\r', '.', -1);
    const __m256i slash_cr_nul = class_table('\0', -1, -1, '\r', -1, '/');
    const __m256i cr_nul = class_table('\0', -1, -1, '\r', -1, -1);
    const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes));
    const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + 32));
    window_masks m;
    m.separator = bits(in_class(low, separators), in_class(high, separators));
    m.lf = bits(equal(low, '\n'), equal(high, '\n'));
    const __m256i slash_cr_nul_low = in_class(low, slash_cr_nul);
    const __m256i slash_cr_nul_high = in_class(high, slash_cr_nul);
    m.has_slash_cr_or_nul = any(slash_cr_nul_low, slash_cr_nul_high);
    if (m.has_slash_cr_or_nul) {
      m.slash =
          bits(slash_cr_nul_low, slash_cr_nul_high);  // with any CR and zero byte, taken out below
      m.has_cr_or_nul = any(in_class(low, cr_nul), in_class(high, cr_nul));
      if (m.has_cr_or_nul) {
        m.cr = bits(equal(low, '\r'), equal(high, '\r'));
        m.nul = bits(equal(low, '\0'), equal(high, '\0'));
        m.slash &= ~(m.cr | m.nul);
        m.separator |= m.nul;
      }
    }
    return m;
  }

  [[ZIVAVOD_AVX2]] static int count_ones(std::uint64_t bits) { return std::popcount(bits); }

  [[ZIVAVOD_AVX2]] static std::uint32_t pack_four(std::uint64_t codes) {
    return static_cast<std::uint32_t>(_pext_u64(codes, 0x1F1F1F1Fu));
  }

  [[ZIVAVOD_AVX2]] static std::uint32_t pack_six(std::uint64_t codes) {
    return static_cast<std::uint32_t>(_pext_u64(codes, 0x1F1F1F1F1F1Fu));
  }
};

}  // namespace

// Flattened so that the back end's steps and the window scan become one loop compiled for it.
[[ZIVAVOD_AVX2, gnu::flatten]] std::size_t scan_avx2(scan_state& s, const std::uint8_t* bytes,
                                                     std::size_t size, word_store& store) {
  return scan_bytes<avx2_backend>(s, bytes, size, store);
}

[[ZIVAVOD_AVX2]] window_masks classify_avx2(const std::uint8_t* window) {
  return avx2_backend::classify(window);
}

}  // namespace word_scan

#endif
