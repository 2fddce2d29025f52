#pragma once

#include <gtest/gtest.h>

#include <array>

#include "lexicon/word_store.hpp"
#include "test_util.hpp"

// Gives each test an empty word store over full-size buffers.
class WordStoreTest : public testing::Test {
 protected:
  void SetUp() override {
    g_word_store = word_store{};
    g_word_store.slw_buff = slw_;
    g_word_store.flw_buff = flw_;
  }
  static bytes flw_bytes() {
    return {flw_.begin(), flw_.begin() + static_cast<std::ptrdiff_t>(g_word_store.flw_pos)};
  }
  static bytes slw_bytes() {
    return {slw_.begin(), slw_.begin() + static_cast<std::ptrdiff_t>(g_word_store.slw_pos)};
  }

  static inline std::array<std::uint8_t, k_word_buffer_size> slw_{};
  static inline std::array<std::uint8_t, k_word_buffer_size> flw_{};
};
