#include "run_control/run.hpp"

#include <array>
#include <cstdint>
#include <cstdlib>

#include "base/console.hpp"
#include "base/messages.hpp"
#include "base/platform.hpp"
#include "base/version.hpp"
#include "lexicon/app_image.hpp"
#include "lexicon/word_list_reader.hpp"
#include "lexicon/word_store.hpp"
#include "package/manifest.hpp"
#include "package/package_writer.hpp"

namespace {

// The four heap buffers live until the process ends; held here so they stay reachable.
std::uint8_t* g_slw_buffer = nullptr;
std::uint8_t* g_flw_buffer = nullptr;
char* g_manifest_buffer = nullptr;
std::uint8_t* g_app_buffer = nullptr;

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
  g_manifest_buffer = allocate<char>(k_manifest_buffer_size, msg::k_manifest_malloc_failed);
  g_app_buffer = allocate<std::uint8_t>(k_app_buffer_size, msg::k_app_malloc_failed);
}

void print_totals(const word_store& store) {
  say(msg::k_total_lines, store.lines_processed);
  say(msg::k_total_regular_four, store.regular_four_letter_words);
  say(msg::k_total_regular_six, store.regular_six_letter_words);
  say(msg::k_total_dirty_four, store.dirty_four_letter_words);
  say(msg::k_total_dirty_six, store.dirty_six_letter_words);
  say(msg::k_total_words, four_letter_count(store) + six_letter_count(store));
  say(msg::k_generating);
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
  say(msg::k_banner, k_version);
  check_argument_count(argc, argv);
  config_slots slots = read_config_file(argv[1]);
  const package_names names = derive_names(slots);
  allocate_buffers();
  read_word_lists(slots);
  print_totals(g_word_store);
  const app_image image = build_app_image(slots[0].data(), slots[2], names.app.data(), g_word_store,
                                          {g_app_buffer, k_app_buffer_size});
  // The files the run read, which the package must never take the place of.
  std::array<const char*, 2 + k_slot_count - k_first_word_list_slot> input_files{argv[1],
                                                                                 slots[0].data()};
  for (std::size_t i = k_first_word_list_slot; i < k_slot_count; ++i) {
    input_files[2 + i - k_first_word_list_slot] = slots[i].data();
  }
  return write_dfu_package(names, image, {g_manifest_buffer, k_manifest_buffer_size}, input_files);
}
