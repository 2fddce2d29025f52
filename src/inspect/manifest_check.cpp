#include "inspect/manifest_check.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "base/utf8.hpp"
#include "package/init_packet.hpp"

namespace {

using json = nlohmann::json;

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
constexpr std::array<const char*, k_manifest_values> k_manifest_paths = {
    "/manifest/application/bin_file",
    "/manifest/application/dat_file",
    "/manifest/application/init_packet_data/application_version",
    "/manifest/application/init_packet_data/device_revision",
    "/manifest/application/init_packet_data/device_type",
    "/manifest/application/init_packet_data/firmware_crc16",
    "/manifest/application/init_packet_data/softdevice_req/0",
    "/manifest/application/init_packet_data/softdevice_req/1",
    "/manifest/dfu_version"};

// The value at path, or null.
const json* value_at(const json& manifest, std::size_t field) {
  const json::json_pointer path(k_manifest_paths[field]);
  return manifest.contains(path) ? &manifest.at(path) : nullptr;
}

// The value when it is a whole number of at most 32 bits.
std::optional<std::uint32_t> whole_number(const json* value) {
  if (value == nullptr || !value->is_number_unsigned() ||
      value->get<std::uint64_t>() > 0xFFFFFFFFu) {
    return std::nullopt;
  }
  return static_cast<std::uint32_t>(value->get<std::uint64_t>());
}

// Notes the value at field as absent or as not holding what it should.
void note_field(const json* value, std::size_t field, const char* should, inspection& r) {
  const char* const path = k_manifest_paths[field] + 1;
  if (value == nullptr) {
    note_problem(r, "manifest.json has no %s", path);
    return;
  }
  // A string is shown in quotes, so that "65535" is not taken for the number.
  const std::string text = value->is_string() || value->is_number()
                               ? value->dump(-1, ' ', false, json::error_handler_t::replace)
                               : "no string or number";
  note_problem(r, "manifest.json: %s is %s, not %s", path, printable(text).data(), should);
}

void expect_number(const json& manifest, std::size_t field, std::uint32_t want, inspection& r) {
  const json* const value = value_at(manifest, field);
  if (whole_number(value) != want) {
    std::array<char, 16> should{};
    (void)std::snprintf(should.data(), should.size(), "%lu", static_cast<unsigned long>(want));
    note_field(value, field, should.data(), r);
  }
}

// The manifest names the entry name (when there is one) by the string at field.
void expect_name(const json& manifest, std::size_t field, const std::string_view* name,
                 const char* what, inspection& r) {
  const json* const value = value_at(manifest, field);
  if (value == nullptr || !value->is_string()) {
    note_field(value, field, "a string", r);
  } else if (name != nullptr && value->get_ref<const std::string&>() != *name) {
    note_problem(r, "manifest.json names \"%s\", not the %s entry \"%s\"",
                 printable(value->get_ref<const std::string&>()).data(), what,
                 printable(*name).data());
  }
}

// Parses text; notes why it is not one JSON value, or the first member given twice in an
// object (readers differ on which of the two they take). Null when either was found.
std::optional<json> parse(std::string_view text, inspection& r) {
  std::vector<std::set<std::string>> open_objects;
  std::string repeated;
  const json::parser_callback_t note_keys = [&](int, json::parse_event_t event, json& parsed) {
    if (event == json::parse_event_t::object_start) {
      open_objects.emplace_back();
    } else if (event == json::parse_event_t::object_end) {
      open_objects.pop_back();
    } else if (event == json::parse_event_t::key &&
               !open_objects.back().insert(parsed.get<std::string>()).second && repeated.empty()) {
      repeated = parsed.get<std::string>();
    }
    return true;
  };
  // nlohmann-json passes a byte order mark over; RFC 8259 lets a reader refuse one, as some do.
  if (text.starts_with("\xEF\xBB\xBF")) {
    note_problem(r, "manifest.json is not valid JSON: it begins with a byte order mark");
    return std::nullopt;
  }
  try {
    json manifest = json::parse(text, note_keys);
    if (!repeated.empty()) {
      note_problem(r, "manifest.json gives the member \"%s\" twice", printable(repeated).data());
      return std::nullopt;
    }
    return manifest;
  } catch (const json::parse_error& error) {
    // what() reads "[json.exception.parse_error.101] parse error at line 1, column 2: why".
    std::string_view why = error.what();
    const std::size_t column = why.find("column ");
    const std::size_t colon = column == std::string_view::npos ? column : why.find(": ", column);
    if (colon != std::string_view::npos) {
      why.remove_prefix(colon + 2);
    }
    note_problem(r, "manifest.json is not valid JSON: %s (byte %lu)", printable(why).data(),
                 static_cast<unsigned long>(error.byte));
    return std::nullopt;
  } catch (const json::out_of_range& error) {
    // A number past a double's range: what() reads "[json.exception.out_of_range.406] number
    // overflow parsing '5E9041'". Some readers take it as infinity, none as a CRC or a version.
    std::string_view why = error.what();
    why.remove_prefix(std::min(why.size(), why.find("] ") + 2));
    note_problem(r, "manifest.json holds a number no reader can keep: %s", printable(why).data());
    return std::nullopt;
  }
}

}  // namespace

std::optional<std::uint16_t> check_manifest(std::span<const std::uint8_t> text,
                                            manifest_names names, inspection& r) {
  std::size_t bad_at = 0;
  if (!is_utf8(text, bad_at)) {
    note_problem(r, "manifest.json is not valid UTF-8: byte %lu",
                 static_cast<unsigned long>(bad_at));
    return std::nullopt;
  }
  const std::optional<json> parsed =
      parse({reinterpret_cast<const char*>(text.data()), text.size()}, r);
  if (!parsed) {
    return std::nullopt;
  }
  const json& manifest = *parsed;
  expect_name(manifest, k_bin_file_field, names.image, "app image", r);
  expect_name(manifest, k_dat_file_field, names.packet, "init packet", r);
  expect_number(manifest, k_application_version_field, k_application_version, r);
  expect_number(manifest, k_device_revision_field, k_device_revision, r);
  expect_number(manifest, k_device_type_field, k_device_type, r);
  expect_number(manifest, k_softdevice_req_field, k_softdevice_any, r);
  if (value_at(manifest, k_second_softdevice_req_field) != nullptr) {
    note_problem(r, "manifest.json requires more than one SoftDevice");
  }
  const json* const dfu_version = value_at(manifest, k_dfu_version_field);
  if (dfu_version == nullptr || !dfu_version->is_number_float() ||
      dfu_version->get<double>() != 0.5) {
    note_field(dfu_version, k_dfu_version_field, "0.5 (the legacy layout)", r);
  }
  const json* const crc_value = value_at(manifest, k_firmware_crc16_field);
  const std::optional<std::uint32_t> crc = whole_number(crc_value);
  if (!crc || *crc > 0xFFFF) {
    note_field(crc_value, k_firmware_crc16_field, "a CRC-16", r);
    return std::nullopt;
  }
  return static_cast<std::uint16_t>(*crc);
}
