#include "inspect/report.hpp"

#include <cstdio>
#include <utility>

namespace {

std::array<char, k_word_text_size> word_at(const word_table& table, std::size_t position) {
  return word_text(table.records.subspan(position * table.record_size, table.record_size),
                   table.letters);
}

void print_words(const word_table& table) {
  for (std::size_t at = 0; at < table.records.size(); at += table.record_size) {
    std::puts(word_text(table.records.subspan(at, table.record_size), table.letters).data());
  }
}

void print_count(const char* what, const word_table& table) {
  std::printf("%s: %lu (%lu regular, %lu dirty)\n", what,
              static_cast<unsigned long>(table.regular) + table.dirty,
              static_cast<unsigned long>(table.regular), static_cast<unsigned long>(table.dirty));
}

void print_problems(const inspection& r) {
  for (std::size_t i = 0; i < r.problem_count; ++i) {
    std::printf("problem: %s\n", r.problems[i].data());
  }
}

// "31 (25 regular, 6 dirty) -> 32 (26 regular, 6 dirty)" after what.
void print_counts(const char* what, const word_table& before, const word_table& after) {
  std::printf("%s: %lu (%lu regular, %lu dirty) -> %lu (%lu regular, %lu dirty)\n", what,
              static_cast<unsigned long>(before.regular) + before.dirty,
              static_cast<unsigned long>(before.regular), static_cast<unsigned long>(before.dirty),
              static_cast<unsigned long>(after.regular) + after.dirty,
              static_cast<unsigned long>(after.regular), static_cast<unsigned long>(after.dirty));
}

void print_table_diff(const char* what, const word_table& before, const word_table& after,
                      const table_diff& d, bool summary) {
  std::printf("%s added: %lu\n", what, static_cast<unsigned long>(d.added.size()));
  for (std::size_t i = 0; i < d.added.size() && !summary; ++i) {
    std::printf("+ %s\n", word_at(after, d.added[i]).data());
  }
  std::printf("%s removed: %lu\n", what, static_cast<unsigned long>(d.removed.size()));
  for (std::size_t i = 0; i < d.removed.size() && !summary; ++i) {
    std::printf("- %s\n", word_at(before, d.removed[i]).data());
  }
  std::printf("%s changed between regular and dirty: %lu\n", what,
              static_cast<unsigned long>(d.changed.size()));
  for (std::size_t i = 0; i < d.changed.size() && !summary; ++i) {
    std::printf("~ %s -> %s\n", word_at(before, d.changed[i].first).data(),
                word_at(after, d.changed[i].second).data());
  }
  if (d.reordered) {
    std::printf("%s: the same words in another order\n", what);
  }
}

void print_byte_difference(const char* what, const byte_difference& d, std::size_t size) {
  if (d.count == 0) {
    std::printf("%s: identical, %lu bytes\n", what, static_cast<unsigned long>(size));
    return;
  }
  std::printf("%s: differs in %lu of %lu bytes, the first at byte %lu (0x%lX)\n", what,
              static_cast<unsigned long>(d.count), static_cast<unsigned long>(size),
              static_cast<unsigned long>(d.first), static_cast<unsigned long>(d.first));
}

}  // namespace

void print_report(named_package p, bool words) {
  const inspection& r = *p.facts;
  std::printf("package: %s\n", p.path);
  if (r.header_read) {
    std::printf("lexicon: \"%s\"\n", r.lexicon_name.data());
  }
  if (r.image_read) {
    std::printf("app image: %s, %lu bytes, CRC-16 %u (0x%04X)\n", r.image_name.data(),
                static_cast<unsigned long>(r.image_size), unsigned{r.image_crc16},
                unsigned{r.image_crc16});
  }
  if (r.tables_read) {
    print_count("six-letter words", r.six);
    print_count("four-letter words", r.four);
    if (words) {
      print_words(r.six);
      print_words(r.four);
    }
  }
  if (r.problem_count == 0) {
    std::puts("OK");
  }
  print_problems(r);
}

void print_diff(const comparison& c, bool summary) {
  const inspection& before = *c.old_package.facts;
  const inspection& after = *c.new_package.facts;
  if (c.diff == nullptr) {
    const std::array<std::pair<const char*, named_package>, 2> sides = {
        {{"old", c.old_package}, {"new", c.new_package}}};
    for (const auto& [label, p] : sides) {
      if (p.facts->problem_count != 0) {
        std::printf("%s: %s\n", label, p.path);
        print_problems(*p.facts);
      }
    }
    return;
  }
  const package_diff& d = *c.diff;
  std::printf("old: %s\nnew: %s\n", c.old_package.path, c.new_package.path);
  std::printf("lexicon: \"%s\" -> \"%s\"\n", before.lexicon_name.data(), after.lexicon_name.data());
  print_byte_difference("firmware", d.firmware, k_firmware_head_size);
  print_table_diff("six-letter words", before.six, after.six, d.six, summary);
  print_table_diff("four-letter words", before.four, after.four, d.four, summary);
  print_counts("six-letter words", before.six, after.six);
  print_counts("four-letter words", before.four, after.four);
  std::printf("lexicon space: %lu -> %lu of %lu bytes\n",
              static_cast<unsigned long>(lexicon_space_used(before)),
              static_cast<unsigned long>(lexicon_space_used(after)),
              static_cast<unsigned long>(k_lexicon_space));
  if (differs_elsewhere(d)) {
    std::printf("app image: differs behind the lexicon header or in the fill, first at byte %lu\n",
                static_cast<unsigned long>(d.image.first));
  }
}
