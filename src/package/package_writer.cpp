#include "package/package_writer.hpp"

#include <zip.h>

#include <cstdlib>

#include "base/console.hpp"
#include "base/messages.hpp"
#include "package/init_packet.hpp"
#include "package/manifest.hpp"
#include "package/output_file.hpp"
#include "package/zip_dates.hpp"
#include "package/zip_entry_writer.hpp"

namespace {

init_packet g_init_packet;
// Held here for the whole run, so that it stays reachable.
char* g_manifest_buffer = nullptr;

// Ends an archive that failed half way: prints line and releases the writer. Returns false.
bool abandon(zip_handle zip, const char* line) {
  say("%s", line);
  (void)zipClose(zip, nullptr);
  return false;
}

}  // namespace

void allocate_manifest_buffer() {
  g_manifest_buffer = static_cast<char*>(std::malloc(k_manifest_buffer_size));
  if (g_manifest_buffer == nullptr) {
    fail(msg::k_manifest_malloc_failed);
  }
}

bool write_zip(std::FILE* file, const package_names& names, std::span<const std::uint8_t> image,
               std::uint16_t firmware_crc16) {
  const zip_handle zip = open_archive(file, names.zip.data());
  if (zip == nullptr) {
    say(msg::k_zip_init_failed);
    return false;
  }
  const std::tm date = package_entry_date();
  // One compressor serves the three entries; failing to make it fails the first entry.
  const unique_compressor compressor = make_compressor();
  build_init_packet(g_init_packet, firmware_crc16);
  const entry_writer out{zip, file, compressor.get()};
  if (compressor == nullptr ||
      !add_entry(out, {names.dat.data(), std::as_bytes(std::span(g_init_packet)), date})) {
    return abandon(zip, msg::k_add_dat_failed);
  }
  const std::span<char> manifest_buffer(g_manifest_buffer, k_manifest_buffer_size);
  const int manifest_length =
      write_manifest(manifest_buffer, names.app.data(), names.dat.data(), firmware_crc16);
  if (manifest_length < 0 ||
      !add_entry(out,
                 {"manifest.json",
                  std::as_bytes(manifest_buffer.first(static_cast<std::size_t>(manifest_length))),
                  date, true})) {
    return abandon(zip, msg::k_add_manifest_failed);
  }
  if (!add_entry(out, {names.app.data(), std::as_bytes(image), date})) {
    return abandon(zip, msg::k_add_app_failed);
  }
  if (zipClose(zip, nullptr) != ZIP_OK) {
    say(msg::k_zip_finalize_failed);
    return false;
  }
  return true;
}

int write_dfu_package(const package_names& names, std::span<const std::uint8_t> image,
                      std::uint16_t firmware_crc16, std::span<const char* const> input_files) {
  const char* const zip_name = names.zip.data();
  say(msg::k_creating_zip);
  // Refused before an old package is even announced: nothing of the user's is touched.
  const output_refusal refusal = output_path_refusal(zip_name, input_files);
  if (refusal == output_refusal::input_file) {
    say(msg::k_package_is_input, zip_name);
    return 1;
  }
  if (refusal == output_refusal::device_name || is_unsafe_entry_name(names.dat.data())) {
    say(msg::k_add_dat_failed);
    return 1;
  }
  output_file out = open_output_file(zip_name);
  if (out.stream == nullptr) {
    say(msg::k_zip_init_failed);
    discard_output_file(out);
    return 1;
  }
  if (!write_zip(out.stream.get(), names, image, firmware_crc16)) {
    discard_output_file(out);
    return 1;
  }
  // Fails when something that is no file is in the way, such as a folder that holds files.
  if (!keep_output_file(out)) {
    say(msg::k_zip_init_failed);
    discard_output_file(out);
    return 1;
  }
  say(msg::k_package_created, zip_name);
  return 0;
}
