#include "lexicon/app_image.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/console.hpp"
#include "base/messages.hpp"
#include "base/platform.hpp"
#include "lexicon/crc16.hpp"

namespace {

void read_firmware_head(const char* bin_path, std::span<std::uint8_t> app_buffer) {
  const unique_file file{std::fopen(bin_path, "rb")};
  if (!file || is_directory(file.get())) {
    fail_err(msg::k_cant_open_bin, bin_path);
  }
  if (std::fread(app_buffer.data(), 1, k_firmware_head_size, file.get()) != k_firmware_head_size) {
    fail_err(msg::k_bin_too_short);
  }
}

}  // namespace

lexicon_name make_lexicon_name(const char* text) {
  // The text as the warning shows it: filled with spaces to six characters, the rest as it is.
  std::array<char, k_max_slot_text + 1> warning_text{};
  const std::size_t length = std::min(std::strlen(text), k_max_slot_text);
  std::copy_n(text, length, warning_text.begin());
  std::fill(
      warning_text.begin() + static_cast<std::ptrdiff_t>(length),
      warning_text.begin() + static_cast<std::ptrdiff_t>(std::max(length, k_lexicon_name_length)),
      ' ');
  lexicon_name name{};
  for (std::size_t i = 0; i < k_lexicon_name_length; ++i) {
    // Locale-free on purpose: only a-z change, and only ASCII letters and digits survive.
    char c = warning_text[i];
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
    name[i] = is_lexicon_name_character(c) ? c : ' ';
  }
  if (std::memcmp(name.data(), warning_text.data(), k_lexicon_name_length) != 0) {
    say(msg::k_lexicon_name_changed, warning_text.data(), name.data());
  }
  return name;
}

app_image build_app_image(const char* bin_path, const char* lexicon_text, const word_store& store,
                          std::span<std::uint8_t> app_buffer) {
  read_firmware_head(bin_path, app_buffer);
  say(msg::k_bin_read, static_cast<int>(k_firmware_head_size));
  const lexicon_name name = make_lexicon_name(lexicon_text);

  const auto six_count = static_cast<std::uint32_t>(six_letter_count(store));
  const auto four_count = static_cast<std::uint32_t>(four_letter_count(store));
  const std::size_t six_bytes = k_six_letter_record_size * six_count;
  const std::size_t four_bytes = k_four_letter_record_size * four_count;
  const std::size_t unfilled = k_tables_offset + six_bytes + four_bytes;
  const auto length = static_cast<std::size_t>(image_length(six_count, four_count));
  if (length > app_buffer.size()) {
    say(msg::k_image_too_large);
    fail(msg::k_max_file_size, static_cast<int>(app_buffer.size()));
  }

  put_lexicon_header(app_buffer.subspan<k_firmware_head_size, k_lexicon_header_size>(),
                     make_lexicon_header(name.data(), six_count, four_count));
  // The gap behind the header is zeroed so the image and its CRC never depend on stale memory.
  const std::size_t gap = k_firmware_head_size + k_lexicon_header_size;
  std::fill(&app_buffer[gap], &app_buffer[k_tables_offset], std::uint8_t{0});
  std::copy_n(store.slw_buff.data(), six_bytes, &app_buffer[k_tables_offset]);
  std::copy_n(store.flw_buff.data(), four_bytes, &app_buffer[k_tables_offset + six_bytes]);
  std::fill(app_buffer.begin() + static_cast<std::ptrdiff_t>(unfilled),
            app_buffer.begin() + static_cast<std::ptrdiff_t>(length), std::uint8_t{0xFF});

  const auto bytes = std::span<const std::uint8_t>(app_buffer).first(length);
  return {bytes, crc16_ccitt(bytes), name};
}
