#include "inspect/diff.hpp"

#include <algorithm>
#include <cstdint>
#include <span>
#include <unordered_map>

namespace {

byte_difference compare_bytes(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
  byte_difference d;
  const std::size_t common = std::min(a.size(), b.size());
  d.count = std::max(a.size(), b.size()) - common;
  d.first = common;
  for (std::size_t i = common; i-- > 0;) {
    if (a[i] != b[i]) {
      ++d.count;
      d.first = i;
    }
  }
  return d;
}

// A word record as a number: its bytes big-endian, the dirty flag in bit 0.
std::uint32_t record_value(const word_table& table, std::size_t position) {
  std::uint32_t value = 0;
  for (const std::uint8_t byte :
       table.records.subspan(position * table.record_size, table.record_size)) {
    value = (value << 8) | byte;
  }
  return value;
}

std::size_t word_count(const word_table& table) { return table.records.size() / table.record_size; }

// Positions of the words of from that to lacks, counted as a multiset: of n equal words of
// which to holds m < n, the last n - m.
std::vector<std::size_t> surplus(const word_table& from, const word_table& to) {
  std::unordered_map<std::uint32_t, std::size_t> left;
  for (std::size_t i = 0; i < word_count(to); ++i) {
    ++left[record_value(to, i)];
  }
  std::vector<std::size_t> out;
  for (std::size_t i = 0; i < word_count(from); ++i) {
    const auto found = left.find(record_value(from, i));
    if (found != left.end() && found->second > 0) {
      --found->second;
    } else {
      out.push_back(i);
    }
  }
  return out;
}

// Pairs each added word, in the new table's order, with the first removed word of the same
// letters still unpaired (its dirty mark is then the other one), and takes the pairs out of
// added and removed.
void pair_changes(const word_table& old_table, const word_table& new_table, table_diff& d) {
  constexpr auto k_letters = ~k_dirty_flag;
  std::unordered_map<std::uint32_t, std::vector<std::size_t>> unpaired;  // last one first
  for (auto at = d.removed.rbegin(); at != d.removed.rend(); ++at) {
    unpaired[record_value(old_table, *at) & k_letters].push_back(*at);
  }
  std::vector<std::size_t> added;
  std::vector<bool> paired(word_count(old_table), false);
  for (const std::size_t position : d.added) {
    const auto found = unpaired.find(record_value(new_table, position) & k_letters);
    if (found == unpaired.end() || found->second.empty()) {
      added.push_back(position);
      continue;
    }
    d.changed.emplace_back(found->second.back(), position);
    paired[found->second.back()] = true;
    found->second.pop_back();
  }
  d.added = std::move(added);
  std::erase_if(d.removed, [&](std::size_t position) { return paired[position]; });
}

table_diff compare_tables(const word_table& old_table, const word_table& new_table) {
  table_diff d;
  d.added = surplus(new_table, old_table);
  d.removed = surplus(old_table, new_table);
  pair_changes(old_table, new_table, d);
  d.reordered = d.added.empty() && d.removed.empty() && d.changed.empty() &&
                compare_bytes(old_table.records, new_table.records).count != 0;
  return d;
}

bool empty(const table_diff& d) {
  return d.added.empty() && d.removed.empty() && d.changed.empty() && !d.reordered;
}

}  // namespace

package_diff compare_packages(const inspection& old_package, const inspection& new_package) {
  package_diff d;
  d.same_name = old_package.lexicon_name == new_package.lexicon_name;
  d.firmware = compare_bytes(old_package.image.first(k_firmware_head_size),
                             new_package.image.first(k_firmware_head_size));
  d.six = compare_tables(old_package.six, new_package.six);
  d.four = compare_tables(old_package.four, new_package.four);
  d.image = compare_bytes(old_package.image, new_package.image);
  return d;
}

bool differs_elsewhere(const package_diff& d) {
  return d.image.count != 0 && d.same_name && d.firmware.count == 0 && empty(d.six) &&
         empty(d.four);
}
