#include "inspect/inspect.hpp"

#include <unzip.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>

#include "inspect/json_reader.hpp"
#include "lexicon/crc16.hpp"
#include "package/init_packet.hpp"

namespace {

// Larger than any manifest zivavod writes.
constexpr std::size_t k_max_manifest_size = std::size_t{64} * 1024;

// The archive is read from memory through minizip's file callbacks: one read of the file, and
// nothing outside its bytes can be reached.
struct memory_file {
  std::span<const std::uint8_t> bytes;
  std::uint64_t at = 0;
};

voidpf ZCALLBACK open_memory(voidpf opaque, const void* /*filename*/, int /*mode*/) {
  return opaque;
}

uLong ZCALLBACK read_memory(voidpf, voidpf stream, void* buf, uLong size) {
  auto& file = *static_cast<memory_file*>(stream);
  const std::uint64_t left = file.bytes.size() - file.at;
  const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(size, left));
  if (count != 0) {
    std::memcpy(buf, &file.bytes[file.at], count);
  }
  file.at += count;
  return static_cast<uLong>(count);
}

uLong ZCALLBACK write_memory(voidpf, voidpf, const void*, uLong) { return 0; }

ZPOS64_T ZCALLBACK tell_memory(voidpf, voidpf stream) {
  return static_cast<memory_file*>(stream)->at;
}

long ZCALLBACK seek_memory(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
  auto& file = *static_cast<memory_file*>(stream);
  const std::uint64_t size = file.bytes.size();
  const std::uint64_t base = origin == ZLIB_FILEFUNC_SEEK_CUR   ? file.at
                             : origin == ZLIB_FILEFUNC_SEEK_END ? size
                                                                : 0;
  if (offset > size - base) {
    return -1;
  }
  file.at = base + offset;
  return 0;
}

int ZCALLBACK close_memory(voidpf, voidpf) { return 0; }

int ZCALLBACK error_memory(voidpf, voidpf) { return 0; }

// A package's bytes may hold anything: they are printed with control characters as '?'.
void make_printable(std::span<char> text) {
  for (char& c : text) {
    if (c == '\0') {
      break;
    }
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      c = '?';
    }
  }
}

[[gnu::format(printf, 2, 3)]] void note(inspection& r, const char* format, ...) {
  if (r.problem_count == k_max_problems) {
    return;
  }
  text_line& line = r.problems[r.problem_count++];
  if (r.problem_count == k_max_problems) {
    (void)std::snprintf(line.data(), line.size(), "more problems than these");
    return;
  }
  va_list args;
  va_start(args, format);
  (void)std::vsnprintf(line.data(), line.size(), format, args);
  va_end(args);
  make_printable(line);
}

// The entries of a package, in their order.
enum entry_role : std::size_t { k_packet_entry, k_manifest_entry, k_image_entry, k_entry_roles };

// One entry as found in the archive and read into its buffer, which has a byte more room than
// the entry may fill.
struct entry {
  std::span<std::uint8_t> buffer;
  bool found = false;
  std::size_t position = 0;  // among the archive's entries
  text_line name{};          // as the archive holds it: notes make it printable
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

// Reads the archive's current entry into e.buffer.
void read_entry(unzFile zip, entry& e, const unz_file_info64& info, inspection& r) {
  if (unzOpenCurrentFile(zip) != UNZ_OK) {
    note(r, "entry \"%s\" cannot be read (method %lu)", e.name.data(), info.compression_method);
    return;
  }
  std::size_t size = 0;
  int got = 1;
  while (got > 0 && size < e.buffer.size()) {
    got = unzReadCurrentFile(zip, &e.buffer[size], static_cast<unsigned>(e.buffer.size() - size));
    size += got > 0 ? static_cast<std::size_t>(got) : 0;
  }
  const int closed = unzCloseCurrentFile(zip);
  if (got < 0) {
    note(r, "entry \"%s\" is damaged: its data cannot be inflated", e.name.data());
  } else if (size == e.buffer.size()) {
    note(r, "entry \"%s\" is larger than %lu bytes", e.name.data(),
         static_cast<unsigned long>(e.buffer.size() - 1));
  } else if (closed == UNZ_CRCERROR) {
    note(r, "entry \"%s\" is damaged: its CRC-32 does not match", e.name.data());
  } else if (size != info.uncompressed_size) {
    note(r, "entry \"%s\" is damaged: it holds %lu bytes, not %llu", e.name.data(),
         static_cast<unsigned long>(size), static_cast<unsigned long long>(info.uncompressed_size));
  } else {
    e.read = true;
    e.size = size;
  }
}

// Finds the three entries in the archive and reads each; any other entry is a problem.
void read_entries(unzFile zip, std::array<entry, k_entry_roles>& entries, inspection& r) {
  unz_global_info64 global{};
  if (unzGetGlobalInfo64(zip, &global) != UNZ_OK || global.number_entry == 0) {
    return;
  }
  std::size_t position = 0;
  int status = unzGoToFirstFile(zip);
  for (; status == UNZ_OK; status = unzGoToNextFile(zip), ++position) {
    unz_file_info64 info{};
    text_line name{};
    if (unzGetCurrentFileInfo64(zip, &info, name.data(), name.size() - 1, nullptr, 0, nullptr, 0) !=
        UNZ_OK) {
      status = UNZ_BADZIPFILE;
      break;
    }
    const std::size_t role = role_of(name.data());
    if (role == k_entry_roles || entries[role].found) {
      note(r, "unexpected entry \"%s\"", name.data());
      continue;
    }
    entry& e = entries[role];
    e.found = true;
    e.position = position;
    e.name = name;
    if (info.compression_method != Z_DEFLATED) {
      note(r, "entry \"%s\" is not deflated (method %lu)", e.name.data(), info.compression_method);
    }
    read_entry(zip, e, info, r);
  }
  if (status != UNZ_END_OF_LIST_OF_FILE) {
    note(r, "the archive's central directory is damaged at entry %lu",
         static_cast<unsigned long>(position + 1));
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
      note(r, "%s", k_missing[role]);
      continue;
    }
    in_order = in_order && (!last || *last < entries[role].position);
    last = entries[role].position;
  }
  if (!in_order) {
    note(r, "the entries are not in the order init packet, manifest.json, app image");
  }
}

// Checks the init packet against the one zivavod writes; returns the CRC-16 it holds.
std::optional<std::uint16_t> check_init_packet(const entry& e, inspection& r) {
  if (!e.read) {
    return std::nullopt;
  }
  if (e.size != k_init_packet_size) {
    note(r, "init packet \"%s\" is %lu bytes, not %lu", e.name.data(),
         static_cast<unsigned long>(e.size), static_cast<unsigned long>(k_init_packet_size));
    return std::nullopt;
  }
  const auto crc = static_cast<std::uint16_t>(e.buffer[k_init_packet_crc_at] |
                                              (e.buffer[k_init_packet_crc_at + 1] << 8));
  init_packet expected{};
  build_init_packet(expected, crc);
  if (!std::equal(expected.begin(), expected.end(), e.buffer.begin())) {
    note(r,
         "init packet fields are not zivavod's: device type and revision, application "
         "version, SoftDevice");
  }
  return crc;
}

// The manifest's values that are checked, by their place in the legacy DFU layout.
enum manifest_value : std::size_t {
  k_bin_file_field,
  k_dat_file_field,
  k_application_version_field,
  k_device_revision_field,
  k_device_type_field,
  k_firmware_crc16_field,
  k_softdevice_req_field,
  k_second_softdevice_req_field,
  k_dfu_version_field,
  k_manifest_values
};
constexpr std::array<std::string_view, k_manifest_values> k_manifest_paths = {
    "manifest/application/bin_file",
    "manifest/application/dat_file",
    "manifest/application/init_packet_data/application_version",
    "manifest/application/init_packet_data/device_revision",
    "manifest/application/init_packet_data/device_type",
    "manifest/application/init_packet_data/firmware_crc16",
    "manifest/application/init_packet_data/softdevice_req/0",
    "manifest/application/init_packet_data/softdevice_req/1",
    "manifest/dfu_version"};
std::array<json_field, k_manifest_values> g_manifest_fields;

std::string_view text_of(const json_field& field) { return {field.text.data(), field.length}; }

// The field's value when it is a whole number of at most 32 bits.
std::optional<std::uint32_t> whole_number(const json_field& field) {
  const std::string_view text = text_of(field);
  if (field.kind != json_kind::number || text.empty() || text.size() > 10 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  std::uint64_t value = 0;
  for (const char c : text) {
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return value <= 0xFFFFFFFFu ? std::optional<std::uint32_t>(value) : std::nullopt;
}

// Notes the field as absent or as not holding what it should.
void note_field(const json_field& field, const char* should, inspection& r) {
  const std::string_view path = field.path;
  if (field.kind == json_kind::absent) {
    note(r, "manifest.json has no %.*s", static_cast<int>(path.size()), path.data());
  } else {
    const std::string_view text =
        field.kind == json_kind::other ? "no string or number" : text_of(field);
    note(r, "manifest.json: %.*s is %.*s, not %s", static_cast<int>(path.size()), path.data(),
         static_cast<int>(text.size()), text.data(), should);
  }
}

void expect_number(const json_field& field, std::uint32_t want, inspection& r) {
  if (whole_number(field) != want) {
    std::array<char, 16> should{};
    (void)std::snprintf(should.data(), should.size(), "%lu", static_cast<unsigned long>(want));
    note_field(field, should.data(), r);
  }
}

// The manifest names the entry e by the string field; notes where it does not.
void expect_name(const json_field& field, const entry& e, const char* what, inspection& r) {
  if (field.kind != json_kind::string) {
    note_field(field, "a string", r);
  } else if (e.found && text_of(field) != e.name.data()) {
    const std::string_view name = text_of(field);
    note(r, "manifest.json names \"%.*s\", not the %s entry \"%s\"", static_cast<int>(name.size()),
         name.data(), what, e.name.data());
  }
}

// Checks the manifest's layout and values; returns the CRC-16 it states.
std::optional<std::uint16_t> check_manifest(const std::array<entry, k_entry_roles>& entries,
                                            inspection& r) {
  const entry& e = entries[k_manifest_entry];
  if (!e.read) {
    return std::nullopt;
  }
  auto& fields = g_manifest_fields;
  for (std::size_t i = 0; i < k_manifest_values; ++i) {
    fields[i].path = k_manifest_paths[i];
  }
  const json_error error =
      read_json({reinterpret_cast<const char*>(e.buffer.data()), e.size}, fields);
  if (error.what != nullptr) {
    note(r, "manifest.json is not valid JSON: %s at byte %lu", error.what,
         static_cast<unsigned long>(error.at));
    return std::nullopt;
  }
  expect_name(fields[k_bin_file_field], entries[k_image_entry], "app image", r);
  expect_name(fields[k_dat_file_field], entries[k_packet_entry], "init packet", r);
  expect_number(fields[k_application_version_field], k_application_version, r);
  expect_number(fields[k_device_revision_field], k_device_revision, r);
  expect_number(fields[k_device_type_field], k_device_type, r);
  expect_number(fields[k_softdevice_req_field], k_softdevice_any, r);
  if (fields[k_second_softdevice_req_field].kind != json_kind::absent) {
    note(r, "manifest.json requires more than one SoftDevice");
  }
  if (fields[k_dfu_version_field].kind != json_kind::number ||
      text_of(fields[k_dfu_version_field]) != "0.5") {
    note_field(fields[k_dfu_version_field], "0.5 (the legacy layout)", r);
  }
  const std::optional<std::uint32_t> crc = whole_number(fields[k_firmware_crc16_field]);
  if (!crc || *crc > 0xFFFF) {
    note_field(fields[k_firmware_crc16_field], "a CRC-16", r);
    return std::nullopt;
  }
  return static_cast<std::uint16_t>(*crc);
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
  r.image_name = e.name;
  make_printable(r.image_name);
  r.image_size = e.size;
  r.image_crc16 = crc16_ccitt(image);
  if (e.size % 4 != 0) {
    note(r, "app image is %lu bytes, not a multiple of 4", static_cast<unsigned long>(e.size));
  }
  if (e.size < k_tables_offset) {
    note(r, "app image is %lu bytes, too short for a lexicon (%lu)",
         static_cast<unsigned long>(e.size), static_cast<unsigned long>(k_tables_offset));
    return;
  }
  const lexicon_header h =
      get_lexicon_header(image.subspan<k_firmware_head_size, k_lexicon_header_size>());
  r.header_read = true;
  std::copy(h.name.begin(), h.name.end(), r.lexicon_name.begin());
  make_printable(r.lexicon_name);
  const lexicon_header expected = make_lexicon_header(h.name.data(), h.six_count, h.four_count);
  if (h.magic != expected.magic) {
    note(r, "lexicon header magic is 0x%04X, not 0x%04X", h.magic, expected.magic);
  }
  if (!std::all_of(h.name.begin(), h.name.end(), is_lexicon_name_character)) {
    note(r, "lexicon name \"%s\" holds characters other than A-Z, 0-9 and space",
         r.lexicon_name.data());
  }
  if (h.six_table != expected.six_table) {
    note(r, "six-letter table address is 0x%lX, not 0x%lX", static_cast<unsigned long>(h.six_table),
         static_cast<unsigned long>(expected.six_table));
  }
  if (h.four_table != expected.four_table) {
    note(r, "four-letter table address is 0x%lX, not 0x%lX behind %lu six-letter words",
         static_cast<unsigned long>(h.four_table), static_cast<unsigned long>(expected.four_table),
         static_cast<unsigned long>(h.six_count));
  }
  const std::uint64_t length = image_length(h.six_count, h.four_count);
  if (length != e.size) {
    note(r,
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
    note(r, "app image CRC-16 is %u (0x%04X), not the %u (0x%04X) of the init packet and manifest",
         image, image, unsigned{*packet}, unsigned{*packet});
    return;
  }
  if (packet && *packet != image) {
    note(r, "init packet CRC-16 is %u (0x%04X), not the app image's %u (0x%04X)", unsigned{*packet},
         unsigned{*packet}, image, image);
  }
  if (manifest && *manifest != image) {
    note(r, "manifest.json firmware_crc16 is %u (0x%04X), not the app image's %u (0x%04X)",
         unsigned{*manifest}, unsigned{*manifest}, image, image);
  }
}

}  // namespace

void inspect_package(std::span<const std::uint8_t> package, inspection& result) {
  result = inspection{};
  memory_file file{package};
  zlib_filefunc64_def io{open_memory, read_memory,  write_memory, tell_memory,
                         seek_memory, close_memory, error_memory, &file};
  const unzFile zip = unzOpen2_64("package", &io);
  if (zip == nullptr) {
    note(result, "not a zip archive, or cut short: its central directory cannot be found");
    return;
  }
  std::array<entry, k_entry_roles> entries{entry{g_packet_buffer}, entry{g_manifest_buffer},
                                           entry{g_image_buffer}};
  read_entries(zip, entries, result);
  (void)unzClose(zip);
  check_entries_found(entries, result);
  const std::optional<std::uint16_t> packet_crc =
      check_init_packet(entries[k_packet_entry], result);
  const std::optional<std::uint16_t> manifest_crc = check_manifest(entries, result);
  check_image(entries[k_image_entry], result);
  check_crcs(packet_crc, manifest_crc, result);
}

std::array<char, k_word_text_size> word_text(std::span<const std::uint8_t> record,
                                             std::size_t letters) {
  std::array<std::uint8_t, 6> codes{};
  const bool dirty = decode_record(record, std::span(codes).first(std::min(letters, codes.size())));
  std::array<char, k_word_text_size> text{};
  std::size_t at = 0;
  for (std::size_t i = 0; i < std::min(letters, codes.size()); ++i) {
    if (codes[i] <= 'z' - 'a') {
      text[at++] = static_cast<char>('a' + codes[i]);
    } else {
      at += static_cast<std::size_t>(
          std::snprintf(&text[at], text.size() - at, "[%u]", unsigned{codes[i]}));
    }
  }
  if (dirty) {
    text[at] = '*';
  }
  return text;
}
