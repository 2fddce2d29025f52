// zivavod-inspect --json: the reports as one JSON document each, written with nlohmann-json.
// Every member is there in every document (null where that part of a package could not be
// read), so that a program reading them needs no test for a missing one; only the lists of words
// are there when asked for alone.
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "inspect/report.hpp"

namespace {

using json = nlohmann::ordered_json;

json word_list(const word_table& table, std::span<const std::size_t> positions) {
  json words = json::array();
  for (const std::size_t position : positions) {
    words.push_back(
        word_text(table.records.subspan(position * table.record_size, table.record_size),
                  table.letters)
            .data());
  }
  return words;
}

std::vector<std::size_t> every_position(const word_table& table) {
  std::vector<std::size_t> positions(table.records.size() / table.record_size);
  for (std::size_t i = 0; i < positions.size(); ++i) {
    positions[i] = i;
  }
  return positions;
}

json counts(const word_table& table) {
  return {{"total", std::uint64_t{table.regular} + table.dirty},
          {"regular", table.regular},
          {"dirty", table.dirty}};
}

json optional_number(const std::optional<std::uint16_t>& value) {
  return value ? json(*value) : json(nullptr);
}

json problems(const inspection& r) {
  json list = json::array();
  for (std::size_t i = 0; i < r.problem_count; ++i) {
    list.push_back({{"kind", k_problem_kind_names.at(static_cast<std::size_t>(r.problem_kinds[i]))},
                    {"text", r.problems[i].data()}});
  }
  return list;
}

json entries(const inspection& r) {
  json list = json::array();
  for (std::size_t i = 0; i < r.entry_count; ++i) {
    const entry_facts& e = r.entries[i];
    list.push_back({{"name", e.name.data()},
                    {"method", e.method},
                    {"compressed_size", e.compressed_size},
                    {"size", e.size},
                    {"crc32", e.crc32}});
  }
  return list;
}

// A package's facts and problems; its words too when words.
json package_json(named_package p, bool words) {
  const inspection& r = *p.facts;
  json doc = {{"package", p.path},
              {"verdict", r.problem_count == 0 ? "sound" : "problems"},
              {"problems", problems(r)},
              {"entries", entries(r)},
              {"init_packet_crc16", optional_number(r.packet_crc16)},
              {"manifest_crc16", optional_number(r.manifest_crc16)},
              {"app_image", nullptr},
              {"lexicon", nullptr},
              {"six_letter_words", nullptr},
              {"four_letter_words", nullptr},
              {"lexicon_space", nullptr}};
  if (r.image_read) {
    doc["app_image"] = {
        {"name", r.image_name.data()}, {"size", r.image_size}, {"crc16", r.image_crc16}};
  }
  if (r.header_read) {
    doc["lexicon"] = r.lexicon_name.data();
  }
  if (r.tables_read) {
    doc["six_letter_words"] = counts(r.six);
    doc["four_letter_words"] = counts(r.four);
    doc["lexicon_space"] = {{"used", lexicon_space_used(r)}, {"of", k_lexicon_space}};
  }
  if (words) {
    doc["words"] = r.tables_read ? json{{"six_letter", word_list(r.six, every_position(r.six))},
                                        {"four_letter", word_list(r.four, every_position(r.four))}}
                                 : json(nullptr);
  }
  return doc;
}

json byte_difference_json(const byte_difference& d, std::size_t size) {
  return {{"size", size},
          {"differing_bytes", d.count},
          {"first_difference", d.count == 0 ? json(nullptr) : json(d.first)}};
}

json table_diff_json(const word_table& before, const word_table& after, const table_diff& d,
                     bool summary) {
  json doc = {{"old", counts(before)},
              {"new", counts(after)},
              {"added_count", d.added.size()},
              {"removed_count", d.removed.size()},
              {"changed_count", d.changed.size()},
              {"reordered", d.reordered}};
  if (!summary) {
    doc["added"] = word_list(after, d.added);
    doc["removed"] = word_list(before, d.removed);
    json changed = json::array();
    for (const auto& [was, is] : d.changed) {
      changed.push_back(
          {{"old", word_list(before, {&was, 1})[0]}, {"new", word_list(after, {&is, 1})[0]}});
    }
    doc["changed"] = std::move(changed);
  }
  return doc;
}

json diff_json(const comparison& c, bool summary) {
  const inspection& before = *c.old_package.facts;
  const inspection& after = *c.new_package.facts;
  const package_diff& d = *c.diff;
  return {
      {"lexicon", {{"old", before.lexicon_name.data()}, {"new", after.lexicon_name.data()}}},
      {"firmware", byte_difference_json(d.firmware, k_firmware_head_size)},
      {"six_letter_words", table_diff_json(before.six, after.six, d.six, summary)},
      {"four_letter_words", table_diff_json(before.four, after.four, d.four, summary)},
      {"lexicon_space",
       {{"old", lexicon_space_used(before)},
        {"new", lexicon_space_used(after)},
        {"of", k_lexicon_space}}},
      {"app_image", byte_difference_json(d.image, std::max(before.image_size, after.image_size))},
      {"differs_elsewhere", differs_elsewhere(d)}};
}

// Paths and names may hold bytes that are not UTF-8: those are written as U+FFFD.
void print_json(const json& doc) {
  std::puts(doc.dump(2, ' ', false, json::error_handler_t::replace).c_str());
}

}  // namespace

void print_json_report(named_package p, int status, bool words) {
  json doc = {{"status", status}};
  doc.update(package_json(p, words));
  print_json(doc);
}

void print_json_diff(const comparison& c, bool summary) {
  constexpr std::array<const char*, 3> k_verdicts = {"same", "different", "problems"};
  print_json({{"status", c.status},
              {"verdict", k_verdicts.at(static_cast<std::size_t>(c.status))},
              {"old", package_json(c.old_package, false)},
              {"new", package_json(c.new_package, false)},
              {"diff", c.diff == nullptr ? json(nullptr) : diff_json(c, summary)}});
}
