// The word-list scan on any machine: masks made 8 bytes at a time in a 64-bit integer, letter
// codes gathered pairwise.
#include "lexicon/word_scan.hpp"

namespace word_scan {

namespace {

// 0x80 in each byte of bytes that equals c, 0 in the others.
std::uint64_t equal_bytes(std::uint64_t bytes, std::uint8_t c) {
  const std::uint64_t low7 = k_ones * 0x7F;
  const std::uint64_t diff = bytes ^ (k_ones * c);
  return ~(((diff & low7) + low7) | diff) & (k_ones * 0x80);
}

// The 0x80 flags of the 8 bytes as 8 bits, the first byte's lowest, moved to bit at.
std::uint64_t flag_bits(std::uint64_t flags, std::size_t at) {
  return (((flags >> 7) * 0x0102040810204080u) >> 56) << at;
}

struct portable_backend {
  static window_masks classify(const std::uint8_t* bytes) {
    window_masks m;
    for (std::size_t at = 0; at < k_window; at += 8) {
      std::uint64_t eight = 0;
      for (std::size_t i = 0; i < 8; ++i) {
        eight |= std::uint64_t{bytes[at + i]} << (8 * i);  // first byte lowest, on any machine
      }
      const std::uint64_t lf = equal_bytes(eight, '\n');
      const std::uint64_t cr = equal_bytes(eight, '\r');
      const std::uint64_t nul = equal_bytes(eight, '\0');
      const std::uint64_t slash = equal_bytes(eight, '/');
      // Comma and full stop differ only in bit 1.
      const std::uint64_t separator =
          equal_bytes(eight, ' ') | equal_bytes(eight | k_ones * 2, '.') | lf | cr | nul;
      m.separator |= flag_bits(separator, at);
      m.lf |= flag_bits(lf, at);
      if ((cr | nul | slash) != 0) {
        m.cr |= flag_bits(cr, at);
        m.nul |= flag_bits(nul, at);
        m.slash |= flag_bits(slash, at);
      }
    }
    m.has_cr_or_nul = (m.cr | m.nul) != 0;
    m.has_slash_cr_or_nul = m.has_cr_or_nul || m.slash != 0;
    return m;
  }

  // The set bits of bits, counted in halves, quarters and so on: a plain build would otherwise
  // call into libgcc for it.
  static int count_ones(std::uint64_t bits) {
    bits -= (bits >> 1) & 0x5555555555555555u;
    bits = (bits & 0x3333333333333333u) + ((bits >> 2) & 0x3333333333333333u);
    bits = (bits + (bits >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
    return static_cast<int>((bits * k_ones) >> 56);
  }

  // The low five bits of each of the low 4 bytes, side by side, the highest byte's first.
  static std::uint32_t pack_four(std::uint64_t codes) {
    const std::uint64_t pairs = (codes & 0x001F001Fu) | ((codes >> 3) & 0x03E003E0u);
    return static_cast<std::uint32_t>((pairs & 0x3FFu) | ((pairs >> 6) & 0xFFC00u));
  }

  // The same for the low 6 bytes: pairs, then two pairs, then all three.
  static std::uint32_t pack_six(std::uint64_t codes) {
    const std::uint64_t pairs = (codes & 0x001F001F001Fu) | ((codes >> 3) & 0x03E003E003E0u);
    const std::uint64_t quads = (pairs & 0x3FF000003FFu) | ((pairs >> 6) & 0xFFC00u);
    return static_cast<std::uint32_t>((quads & 0xFFFFFu) | ((quads >> 12) & 0x3FF00000u));
  }
};

}  // namespace

std::size_t scan_portable(scan_state& s, const std::uint8_t* bytes, std::size_t size,
                          word_store& store) {
  return scan_bytes<portable_backend>(s, bytes, size, store);
}

window_masks classify_portable(const std::uint8_t* window) {
  return portable_backend::classify(window);
}

void scan_end(scan_state& s, const std::uint8_t* bytes, std::size_t size, word_store& store) {
  const std::uint8_t* const base = bytes - k_history;
  const std::uint64_t valid = (std::uint64_t{1} << (k_history + size)) - 1;
  window_masks m = portable_backend::classify(base);
  m.separator |= ~valid;
  m.lf &= valid;
  m.slash &= valid;
  m.cr &= valid;
  m.nul &= valid;
  record_sink sink = open_sink(store);
  scan_window<portable_backend>(s, m, base, sink);
  s.words += close_sink(sink, store);
}

}  // namespace word_scan
