// Micro-benchmarks of the two byte loops of a run: the word-list phase (read_word_list over a
// case's files, opened, measured and closed as a run does) and the image CRC.
//
//   micro_bench CASES_DIR [--benchmark_...]
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "lexicon/app_image.hpp"
#include "lexicon/crc16.hpp"
#include "lexicon/word_list_reader.hpp"
#include "lexicon/word_store.hpp"

namespace {

std::vector<std::uint8_t> g_slw(k_word_buffer_size);
std::vector<std::uint8_t> g_flw(k_word_buffer_size);

void reset_store() {
  g_word_store = word_store{};
  g_word_store.slw_buff = g_slw;
  g_word_store.flw_buff = g_flw;
}

std::vector<std::string> list_paths(const std::string& case_dir) {
  std::vector<std::string> paths;
  for (int i = 1;; ++i) {
    const std::string path = case_dir + "/list" + std::to_string(i) + ".txt";
    std::FILE* const file = std::fopen(path.c_str(), "r");
    if (file == nullptr) {
      break;
    }
    (void)std::fclose(file);
    paths.push_back(path);
  }
  return paths;
}

// The whole word-list phase of one run: every list opened, sized, read and closed.
void word_list_phase(benchmark::State& state, const std::vector<std::string>& paths) {
  std::int64_t bytes = 0;
  for (auto _ : state) {
    reset_store();
    bytes = 0;
    for (const std::string& path : paths) {
      std::FILE* const file = std::fopen(path.c_str(), "r");
      (void)std::fseek(file, 0, SEEK_END);
      (void)std::ftell(file);
      std::rewind(file);
      const word_list_result result = read_word_list(file, g_word_store);
      benchmark::DoNotOptimize(result.words);
      bytes += result.bytes_read;
      (void)std::fclose(file);
    }
  }
  state.SetBytesProcessed(state.iterations() * bytes);
  state.counters["words"] = four_letter_count(g_word_store) + six_letter_count(g_word_store);
}

// The tokeniser alone, over one list held in memory, so file system costs drop out.
void read_word_list_memory(benchmark::State& state, const std::string& path) {
  std::string text;
  std::FILE* const file = std::fopen(path.c_str(), "rb");
  char chunk[4096];
  for (std::size_t got = 0; (got = std::fread(chunk, 1, sizeof chunk, file)) != 0;) {
    text.append(chunk, got);
  }
  (void)std::fclose(file);
  for (auto _ : state) {
    reset_store();
    std::FILE* const stream = fmemopen(text.data(), text.size(), "r");
    const word_list_result result = read_word_list(stream, g_word_store);
    benchmark::DoNotOptimize(result.words);
    (void)std::fclose(stream);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

// CRC of a full image: a patterned head and word-record-like tables behind it.
void crc16_image(benchmark::State& state) {
  std::vector<std::uint8_t> image(k_app_buffer_size);
  std::uint32_t x = 0x2545F491u;
  for (auto& byte : image) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    byte = static_cast<std::uint8_t>(x);
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(crc16_ccitt(image));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(image.size()));
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (argc != 2) {
    (void)std::fprintf(stderr, "usage: micro_bench CASES_DIR [--benchmark_...]\n");
    return 1;
  }
  const std::string cases = argv[1];
  for (const char* name : {"full_one_per_line", "full_comma_lines", "full_four_six", "typical"}) {
    const std::vector<std::string> paths = list_paths(cases + "/" + name);
    if (paths.empty()) {
      (void)std::fprintf(stderr, "micro_bench: no word lists in %s/%s\n", cases.c_str(), name);
      return 1;
    }
    benchmark::RegisterBenchmark((std::string("word_list_phase/") + name).c_str(), word_list_phase,
                                 paths)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("read_word_list_memory/") + name).c_str(),
                                 read_word_list_memory, paths.front())
        ->Unit(benchmark::kMicrosecond);
  }
  benchmark::RegisterBenchmark("crc16_ccitt/146432", crc16_image)->Unit(benchmark::kMicrosecond);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
