#include "package/manifest.hpp"

#include <array>
#include <cstdio>
#include <string_view>

#include "package/init_packet.hpp"

namespace {

using escaped_name = std::array<char, (k_max_escape_length * (k_name_size - 1)) + 1>;

// Bytes with a short JSON escape, and the letter that follows the backslash for each.
constexpr std::string_view k_named_escapes = "\"\\\b\f\n\r\t";
constexpr std::string_view k_escape_letters = "\"\\bfnrt";

// Escapes name as the inside of a JSON string: quote, backslash and control bytes; every other
// byte passes as it is.
escaped_name escape_json(const char* name) {
  escaped_name out{};
  std::size_t n = 0;
  for (const char* p = name; *p != '\0' && n + k_max_escape_length < out.size(); ++p) {
    const auto byte = static_cast<unsigned char>(*p);
    const std::size_t named = k_named_escapes.find(static_cast<char>(byte));
    if (named != std::string_view::npos) {
      out[n++] = '\\';
      out[n++] = k_escape_letters[named];
    } else if (byte < 0x20) {
      n += static_cast<std::size_t>(std::snprintf(&out[n], out.size() - n, "\\u%04x", byte));
    } else {
      out[n++] = static_cast<char>(byte);
    }
  }
  return out;
}

}  // namespace

int write_manifest(std::span<char> buffer, const char* bin_file, const char* dat_file,
                   int firmware_crc16) {
  const escaped_name bin = escape_json(bin_file);
  const escaped_name dat = escape_json(dat_file);
  const int length = std::snprintf(
      buffer.data(), buffer.size(),
      "{\r\n"
      "    \"manifest\": {\r\n"
      "        \"application\": {\r\n"
      "            \"bin_file\": \"%s\",\r\n"
      "            \"dat_file\": \"%s\",\r\n"
      "            \"init_packet_data\": {\r\n"
      "                \"application_version\": %lu,\r\n"
      "                \"device_revision\": %lu,\r\n"
      "                \"device_type\": %lu,\r\n"
      "                \"firmware_crc16\": %d,\r\n"
      "                \"softdevice_req\": [\r\n"
      "                    %lu\r\n"
      "                ]\r\n"
      "            }\r\n"
      "        },\r\n"
      "        \"dfu_version\": 0.5\r\n"
      "    }\r\n"
      "}",
      bin.data(), dat.data(), static_cast<unsigned long>(k_application_version),
      static_cast<unsigned long>(k_device_revision), static_cast<unsigned long>(k_device_type),
      firmware_crc16, static_cast<unsigned long>(k_softdevice_any));
  // A text cut short by a small buffer must never pass for a manifest.
  return length >= 0 && static_cast<std::size_t>(length) < buffer.size() ? length : -1;
}
