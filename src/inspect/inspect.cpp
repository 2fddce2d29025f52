#include "inspect/inspect.hpp"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <optional>
#include <string_view>

#include "inspect/manifest_check.hpp"
#include "inspect/zip_reader.hpp"
#include "lexicon/crc16.hpp"
#include "package/init_packet.hpp"

namespace {

// Larger than any manifest zivavod writes.
constexpr std::size_t k_max_manifest_size = std::size_t{64} * 1024;

// The entries of a package, in their order.
enum entry_role : std::size_t { k_packet_entry, k_manifest_entry, k_image_entry, k_entry_roles };

// One entry as found in the archive and read into its buffer, which has a byte more room than
// the entry may fill.
struct entry {
  std::span<std::uint8_t> buffer;
  bool found = false;
  std::size_t position = 0;  // among the archive's entries
  std::string_view name{};   // as the archive holds it
  bool read = false;         // read whole, its size and CRC-32 as the archive states
  std::size_t size = 0;
};

std::array<std::uint8_t, k_init_packet_size + 1> g_packet_buffer;
std::array<std::uint8_t, k_max_manifest_size + 1> g_manifest_buffer;
std::array<std::uint8_t, k_app_buffer_size + 1> g_image_buffer;

// Which entry name stands for: NAME.dat, manifest.json, NAME.app, or none.
std::size_t role_of(std::string_view name) {
  if (name == "manifest.json") {
    return k_manifest_entry;
  }
  return name.ends_with(".dat")   ? k_packet_entry
         : name.ends_with(".app") ? k_image_entry
                                  : k_entry_roles;
}

// Finds the three entries among the archive's and reads each; any other entry is a problem.
void read_entries(const zip_archive& archive, std::array<entry, k_entry_roles>& entries,
                  inspection& r) {
  for (std::size_t position = 0; position < archive.count; ++position) {
    const zip_entry& found = archive.entries[position];
    r.entries[r.entry_count++] = {printable(found.name), found.method, found.crc32,
                                  found.data.size(), found.size};
    const std::size_t role = role_of(found.name);
    if (role == k_entry_roles || entries[role].found) {
      r.kind = problem_kind::entries;
      note_problem(r, "unexpected entry \"%s\"", printable(found.name).data());
      r.kind = problem_kind::archive;
      continue;
    }
    entry& e = entries[role];
    e.found = true;
    e.position = position;
    e.name = found.name;
    const std::optional<std::size_t> size = read_entry_data(found, e.buffer, r);
    e.read = size.has_value();
    e.size = size.value_or(0);
  }
}

void check_entries_found(const std::array<entry, k_entry_roles>& entries, inspection& r) {
  constexpr std::array<const char*, k_entry_roles> k_missing = {
      "no init packet: no entry named *.dat", "no entry manifest.json",
      "no app image: no entry named *.app"};
  bool in_order = true;
  std::optional<std::size_t> last;
  for (std::size_t role = 0; role < k_entry_roles; ++role) {
    if (!entries[role].found) {
      note_problem(r, "%s", k_missing[role]);
      continue;
    }
    in_order = in_order && (!last || *last < entries[role].position);
    last = entries[role].position;
  }
  if (!in_order) {
    note_problem(r, "the entries are not in the order init packet, manifest.json, app image");
  }
}

// Checks the init packet against the one zivavod writes; returns the CRC-16 it holds.
std::optional<std::uint16_t> check_init_packet(const entry& e, inspection& r) {
  if (!e.read) {
    return std::nullopt;
  }
  if (e.size != k_init_packet_size) {
    note_problem(r, "init packet \"%s\" is %lu bytes, not %lu", printable(e.name).data(),
                 static_cast<unsigned long>(e.size),
                 static_cast<unsigned long>(k_init_packet_size));
    return std::nullopt;
  }
  const auto crc = static_cast<std::uint16_t>(e.buffer[k_init_packet_crc_at] |
                                              (e.buffer[k_init_packet_crc_at + 1] << 8));
  init_packet expected{};
  build_init_packet(expected, crc);
  if (!std::equal(expected.begin(), expected.end(), e.buffer.begin())) {
    note_problem(r,
                 "init packet fields are not zivavod's: device type and revision, application "
                 "version, SoftDevice");
  }
  return crc;
}

word_table count_words(std::span<const std::uint8_t> records, std::size_t letters,
                       std::size_t record_size) {
  word_table table{records, letters, record_size};
  std::array<std::uint8_t, 6> codes{};
  for (std::size_t at = 0; at < records.size(); at += record_size) {
    if (decode_record(records.subspan(at, record_size), std::span(codes).first(letters))) {
      ++table.dirty;
    } else {
      ++table.regular;
    }
  }
  return table;
}

// Checks the image's length and its lexicon header, and finds its word tables.
void check_image(const entry& e, inspection& r) {
  if (!e.read) {
    return;
  }
  const auto image = std::span<const std::uint8_t>(e.buffer).first(e.size);
  r.image_read = true;
  r.image_name = printable(e.name);
  r.image_size = e.size;
  r.image_crc16 = crc16_ccitt(image);
  r.image = image;
  if (e.size % 4 != 0) {
    note_problem(r, "app image is %lu bytes, not a multiple of 4",
                 static_cast<unsigned long>(e.size));
  }
  if (e.size < k_tables_offset) {
    note_problem(r, "app image is %lu bytes, too short for a lexicon (%lu)",
                 static_cast<unsigned long>(e.size), static_cast<unsigned long>(k_tables_offset));
    return;
  }
  const lexicon_header h =
      get_lexicon_header(image.subspan<k_firmware_head_size, k_lexicon_header_size>());
  r.header_read = true;
  r.kind = problem_kind::lexicon_header;
  std::transform(h.name.begin(), h.name.end(), r.lexicon_name.begin(), printable_char);
  const lexicon_header expected = make_lexicon_header(h.name.data(), h.six_count, h.four_count);
  if (h.magic != expected.magic) {
    note_problem(r, "lexicon header magic is 0x%04X, not 0x%04X", h.magic, expected.magic);
  }
  if (!std::all_of(h.name.begin(), h.name.end(), is_lexicon_name_character)) {
    note_problem(r, "lexicon name \"%s\" holds characters other than A-Z, 0-9 and space",
                 r.lexicon_name.data());
  }
  if (h.six_table != expected.six_table) {
    note_problem(r, "six-letter table address is 0x%lX, not 0x%lX",
                 static_cast<unsigned long>(h.six_table),
                 static_cast<unsigned long>(expected.six_table));
  }
  if (h.four_table != expected.four_table) {
    note_problem(r, "four-letter table address is 0x%lX, not 0x%lX behind %lu six-letter words",
                 static_cast<unsigned long>(h.four_table),
                 static_cast<unsigned long>(expected.four_table),
                 static_cast<unsigned long>(h.six_count));
  }
  const std::uint64_t length = image_length(h.six_count, h.four_count);
  if (length != e.size) {
    note_problem(
        r,
        "lexicon header counts %lu six- and %lu four-letter words, an image of %llu bytes, "
        "not %lu",
        static_cast<unsigned long>(h.six_count), static_cast<unsigned long>(h.four_count),
        static_cast<unsigned long long>(length), static_cast<unsigned long>(e.size));
  }
  const std::uint64_t six_bytes = std::uint64_t{k_six_letter_record_size} * h.six_count;
  const std::uint64_t four_bytes = std::uint64_t{k_four_letter_record_size} * h.four_count;
  if (k_tables_offset + six_bytes + four_bytes <= e.size) {
    r.tables_read = true;
    r.six = count_words(image.subspan(k_tables_offset, six_bytes), 6, k_six_letter_record_size);
    r.four = count_words(image.subspan(k_tables_offset + six_bytes, four_bytes), 4,
                         k_four_letter_record_size);
  }
}

// The image's CRC-16 must be the one the init packet and the manifest state. When both state
// the same other one, the image is what changed.
void check_crcs(std::optional<std::uint16_t> packet, std::optional<std::uint16_t> manifest,
                inspection& r) {
  if (!r.image_read) {
    return;
  }
  const unsigned image = r.image_crc16;
  if (packet && manifest && *packet == *manifest && *packet != image) {
    note_problem(
        r, "app image CRC-16 is %u (0x%04X), not the %u (0x%04X) of the init packet and manifest",
        image, image, unsigned{*packet}, unsigned{*packet});
    return;
  }
  if (packet && *packet != image) {
    note_problem(r, "init packet CRC-16 is %u (0x%04X), not the app image's %u (0x%04X)",
                 unsigned{*packet}, unsigned{*packet}, image, image);
  }
  if (manifest && *manifest != image) {
    note_problem(r, "manifest.json firmware_crc16 is %u (0x%04X), not the app image's %u (0x%04X)",
                 unsigned{*manifest}, unsigned{*manifest}, image, image);
  }
}

}  // namespace

void inspect_package(std::span<const std::uint8_t> package, inspection& result) {
  result = inspection{};
  result.kind = problem_kind::archive;
  const zip_archive archive = read_zip(package, result);
  if (!archive.found) {
    return;
  }
  std::array<entry, k_entry_roles> entries{entry{g_packet_buffer}, entry{g_manifest_buffer},
                                           entry{g_image_buffer}};
  read_entries(archive, entries, result);
  result.kind = problem_kind::entries;
  check_entries_found(entries, result);
  result.kind = problem_kind::init_packet;
  result.packet_crc16 = check_init_packet(entries[k_packet_entry], result);
  result.kind = problem_kind::manifest;
  const entry& manifest = entries[k_manifest_entry];
  result.manifest_crc16 =
      manifest.read ? check_manifest(
                          std::span(manifest.buffer).first(manifest.size),
                          {entries[k_image_entry].found ? &entries[k_image_entry].name : nullptr,
                           entries[k_packet_entry].found ? &entries[k_packet_entry].name : nullptr},
                          result)
                    : std::nullopt;
  result.kind = problem_kind::app_image;
  check_image(entries[k_image_entry], result);
  result.kind = problem_kind::crc16;
  check_crcs(result.packet_crc16, result.manifest_crc16, result);
}

void keep_image(inspection& r, std::span<std::uint8_t> storage) {
  const std::span<const std::uint8_t> image = r.image;
  std::copy(image.begin(), image.end(), storage.begin());
  r.image = storage.first(image.size());
  for (word_table* table : {&r.six, &r.four}) {
    if (!table->records.empty()) {
      const auto at = static_cast<std::size_t>(table->records.data() - image.data());
      table->records = r.image.subspan(at, table->records.size());
    }
  }
}
