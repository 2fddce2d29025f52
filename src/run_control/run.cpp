#include "run_control/run.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "base/console.hpp"
#include "base/messages.hpp"
#include "base/platform.hpp"
#include "base/version.hpp"
#include "lexicon/app_image.hpp"
#include "lexicon/word_list_reader.hpp"
#include "lexicon/word_store.hpp"
#include "package/package_writer.hpp"

namespace {

// The heap buffers live until the process ends; held here so they stay reachable (the manifest's
// is held by the package writer).
std::uint8_t* g_slw_buffer = nullptr;
std::uint8_t* g_flw_buffer = nullptr;
std::uint8_t* g_app_buffer = nullptr;

// The configuration file, the input bin file and up to eight word lists.
using input_file_list = std::array<const char*, 2 + k_slot_count - k_first_word_list_slot>;

// True when the command line is that one option alone.
bool is_only_option(int argc, char** argv, const char* option) {
  return argc == 2 && std::strcmp(argv[1], option) == 0;
}

void check_argument_count(int argc, char** argv) {
  if (argc != 2) {
    // Started with no argv[0] (the kernel may hand over an empty one instead), name the tool.
    const bool named = argc > 0 && argv[0] != nullptr && argv[0][0] != '\0';
    fail(msg::k_usage, named ? argv[0] : "zivavod");
  }
}

template <typename T>
T* allocate(std::size_t size, const char* failure_line) {
  void* const memory = std::malloc(size);
  if (memory == nullptr) {
    fail("%s", failure_line);
  }
  return static_cast<T*>(memory);
}

void allocate_buffers() {
  g_slw_buffer = allocate<std::uint8_t>(k_word_buffer_size, msg::k_slw_malloc_failed);
  g_word_store.slw_buff = {g_slw_buffer, k_word_buffer_size};
  g_word_store.slw_pos = 0;
  g_flw_buffer = allocate<std::uint8_t>(k_word_buffer_size, msg::k_flw_malloc_failed);
  g_word_store.flw_buff = {g_flw_buffer, k_word_buffer_size};
  g_word_store.flw_pos = 0;
  allocate_manifest_buffer();  // the package writer's own, allocated in this order all the same
  g_app_buffer = allocate<std::uint8_t>(k_app_buffer_size, msg::k_app_malloc_failed);
}

// Prints the totals over all word lists and the line that opens the app image phase.
void print_totals_and_generating(const word_store& store) {
  say(msg::k_total_lines, store.lines_processed);
  say(msg::k_total_regular_four, store.regular_four_letter_words);
  say(msg::k_total_regular_six, store.regular_six_letter_words);
  say(msg::k_total_dirty_four, store.dirty_four_letter_words);
  say(msg::k_total_dirty_six, store.dirty_six_letter_words);
  say(msg::k_total_words, four_letter_count(store) + six_letter_count(store));
  say(msg::k_generating);
}

// Prints the lines of the finished image: its lexicon name and entry name, its length and CRC.
void print_image_built(const app_image& image, const char* app_file_name) {
  const auto length = static_cast<unsigned>(image.bytes.size());
  say(msg::k_lexicon_output, image.name.data(), app_file_name);
  say(msg::k_image_written, static_cast<int>(length), length,
      static_cast<int>(image.firmware_crc16), static_cast<unsigned>(image.firmware_crc16));
}

// The files the run read, which the package must never take the place of.
input_file_list list_input_files(const char* config_path, const config_slots& slots) {
  input_file_list files{config_path, slots[0].data()};
  std::transform(slots.begin() + k_first_word_list_slot, slots.end(), files.begin() + 2,
                 [](const config_slot& slot) { return slot.data(); });
  return files;
}

}  // namespace

void read_word_lists(const config_slots& slots) {
  constexpr std::int64_t k_limit = k_word_list_byte_limit;
  for (std::size_t i = k_first_word_list_slot; i < k_slot_count; ++i) {
    const char* const path = slots[i].data();
    if (path[0] == '\0') {
      continue;
    }
    const unique_file file{std::fopen(path, "r")};
    if (!file || is_directory(file.get())) {
      fail(msg::k_cant_open_word_list, path);
    }
    // A size that cannot be measured passes here; the reader's own byte limit still holds.
    if (std::fseek(file.get(), 0, SEEK_END) == 0) {
      const long size = std::ftell(file.get());
      if (size > static_cast<long>(k_limit)) {
        fail(msg::k_word_list_too_large, path, size, static_cast<int>(k_limit));
      }
    }
    std::rewind(file.get());
    const word_list_result result = read_word_list(file.get(), g_word_store, k_limit);
    if (result.bytes_read > k_limit) {
      fail(msg::k_word_list_too_large, path, static_cast<long>(result.bytes_read),
           static_cast<int>(k_limit));
    }
    if (result.read_failed || result.utf16) {
      fail(msg::k_cant_open_word_list, path);
    }
    say(msg::k_word_list_processed, path, result.words);
  }
}

int run(int argc, char** argv) {
  report_broken_pipes();
  if (is_only_option(argc, argv, "--version")) {
    say(msg::k_banner, k_version);
    return finish_output(0);
  }
  if (is_only_option(argc, argv, "--help")) {
    for (const char* line : msg::k_help_lines) {
      say("%s", line);
    }
    return finish_output(0);
  }
  say(msg::k_banner, k_version);
  check_argument_count(argc, argv);
  const config_slots slots = read_config_file(argv[1]);
  const package_names names = derive_names(slots);
  allocate_buffers();
  read_word_lists(slots);
  print_totals_and_generating(g_word_store);
  const app_image image = build_app_image(slots[0].data(), slots[2].data(), g_word_store,
                                          {g_app_buffer, k_app_buffer_size});
  print_image_built(image, names.app.data());
  const int status =
      write_dfu_package(names, image.bytes, image.firmware_crc16, list_input_files(argv[1], slots));
  return finish_output(status);
}
