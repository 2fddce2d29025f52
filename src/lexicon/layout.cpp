#include "lexicon/layout.hpp"

#include <algorithm>

#include "base/bytes.hpp"

namespace {

// Where each header field starts.
constexpr std::size_t k_magic_at = 0;
constexpr std::size_t k_name_at = 2;
constexpr std::size_t k_four_table_at = 8;
constexpr std::size_t k_four_count_at = 12;
constexpr std::size_t k_six_table_at = 16;
constexpr std::size_t k_six_count_at = 20;
static_assert(k_six_count_at + 4 == k_lexicon_header_size);

}  // namespace

lexicon_header make_lexicon_header(const char* name, std::uint32_t six_count,
                                   std::uint32_t four_count) {
  lexicon_header header;
  header.magic = k_lexicon_magic;
  std::copy_n(name, k_lexicon_name_length, header.name.begin());
  header.four_table =
      k_tables_device_address + static_cast<std::uint32_t>(k_six_letter_record_size) * six_count;
  header.four_count = four_count;
  header.six_table = k_tables_device_address;
  header.six_count = six_count;
  return header;
}

void put_lexicon_header(std::span<std::uint8_t, k_lexicon_header_size> out,
                        const lexicon_header& header) {
  put_le(out.subspan<k_magic_at, 2>(), header.magic);
  std::copy(header.name.begin(), header.name.end(), &out[k_name_at]);
  put_le(out.subspan<k_four_table_at, 4>(), header.four_table);
  put_le(out.subspan<k_four_count_at, 4>(), header.four_count);
  put_le(out.subspan<k_six_table_at, 4>(), header.six_table);
  put_le(out.subspan<k_six_count_at, 4>(), header.six_count);
}

lexicon_header get_lexicon_header(std::span<const std::uint8_t, k_lexicon_header_size> bytes) {
  lexicon_header header;
  header.magic = static_cast<std::uint16_t>(get_le(bytes.subspan<k_magic_at, 2>()));
  std::copy_n(&bytes[k_name_at], k_lexicon_name_length, header.name.begin());
  header.four_table = get_le(bytes.subspan<k_four_table_at, 4>());
  header.four_count = get_le(bytes.subspan<k_four_count_at, 4>());
  header.six_table = get_le(bytes.subspan<k_six_table_at, 4>());
  header.six_count = get_le(bytes.subspan<k_six_count_at, 4>());
  return header;
}

std::uint64_t image_length(std::uint64_t six_count, std::uint64_t four_count) {
  const std::uint64_t end = k_tables_offset + k_six_letter_record_size * six_count +
                            k_four_letter_record_size * four_count;
  return (end + 3) / 4 * 4;
}

bool decode_record(std::span<const std::uint8_t> record, std::span<std::uint8_t> codes) {
  std::uint32_t value = 0;
  for (const std::uint8_t byte : record) {
    value = (value << 8) | byte;
  }
  const std::size_t spare = 8 * record.size() - k_letter_code_bits * codes.size();
  for (std::size_t i = 0; i < codes.size(); ++i) {
    const std::size_t shift = spare + k_letter_code_bits * (codes.size() - 1 - i);
    codes[i] = static_cast<std::uint8_t>((value >> shift) & k_letter_code_mask);
  }
  return (value & k_dirty_flag) != 0;
}
