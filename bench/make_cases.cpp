// Writes the benchmark cases: for each, a folder with bench.cfg, firmware.bin and word lists drawn
// from a real dictionary. The output depends only on the dictionary's bytes, so two machines with
// the same wamerican release get byte-identical cases.
//
//   make_cases DICTIONARY OUTPUT_DIR
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr std::size_t k_firmware_size = 43008;
constexpr std::size_t k_list_size = 256000;  // the most a word list may hold
constexpr int k_full_list_count = 8;
// Record bytes the image has room for: 146432 - 43072. The full cases fill it exactly, with
// 4 * 21043 + 3 * 6396 = 103360; the split follows the dictionary's own ratio of six- to
// four-letter words (about 3.3 to 1). N4 must be a multiple of 4 for the sum to come out exact.
constexpr int k_full_six_letter_words = 21043;
constexpr int k_full_four_letter_words = 6396;
// Quotas are met this many bytes before a file's end, so the tail never holds a word.
constexpr std::size_t k_quota_margin = 2048;
// Lines stop this far from the end; one comment line then fills the file to its exact size.
constexpr std::size_t k_tail_zone = 512;

// splitmix64: tiny, well mixed and the same everywhere.
struct rng {
  std::uint64_t state;
  std::uint64_t next() {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }
};

// The dictionary split by token length in bytes, as the reader judges it.
struct word_pools {
  std::vector<std::string> four;
  std::vector<std::string> six;
  std::vector<std::string> other;  // neither 4 nor 6 bytes: never stored
  std::vector<std::string> all;
};

[[noreturn]] void die(const std::string& what) {
  (void)std::fprintf(stderr, "make_cases: %s\n", what.c_str());
  std::exit(1);
}

word_pools load_pools(const char* path) {
  std::FILE* const file = std::fopen(path, "rb");
  if (file == nullptr) {
    die(std::string("can't open dictionary ") + path);
  }
  word_pools pools;
  std::string word;
  for (int c = std::fgetc(file);; c = std::fgetc(file)) {
    if (c == '\n' || c == EOF) {
      // Separators and line-end bytes would split or end a token; the dictionary has none, but
      // a different word list should not quietly change what the cases mean.
      const bool clean = !word.empty() && word.find_first_of(" ,.\r\t/") == std::string::npos;
      if (clean) {
        pools.all.push_back(word);
        if (word.size() == 4) {
          pools.four.push_back(word);
        } else if (word.size() == 6) {
          pools.six.push_back(word);
        } else {
          pools.other.push_back(word);
        }
      }
      word.clear();
      if (c == EOF) {
        break;
      }
      continue;
    }
    word += static_cast<char>(c);
  }
  (void)std::fclose(file);
  if (pools.four.empty() || pools.six.empty() || pools.other.empty()) {
    die("dictionary has too few words");
  }
  return pools;
}

void write_file(const std::string& path, const std::string& content) {
  std::FILE* const file = std::fopen(path.c_str(), "wb");
  if (file == nullptr || std::fwrite(content.data(), 1, content.size(), file) != content.size() ||
      std::fclose(file) != 0) {
    die("can't write " + path);
  }
}

void make_dir(const std::string& path) {
  if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
    die("can't create " + path);
  }
}

// A firmware head that compresses about as well as real Thumb code: most halfwords come from a
// small, skewed vocabulary of opcodes, the rest are literal operands, and the vector table at the
// start holds ascending addresses.
std::string make_firmware() {
  rng r{0x5A17F00Du};
  std::vector<std::uint16_t> vocabulary(96);
  for (auto& op : vocabulary) {
    op = static_cast<std::uint16_t>(r.next());
  }
  std::string bytes;
  for (std::uint32_t i = 0; i < 64; ++i) {
    const std::uint32_t address = 0x18000u + 0x200u + 8 * i + 1;
    for (int b = 0; b < 4; ++b) {
      bytes += static_cast<char>(address >> (8 * b));
    }
  }
  while (bytes.size() < k_firmware_size) {
    const std::uint64_t pick = r.next();
    std::uint16_t half = 0;
    if ((pick & 0xF) < 11) {
      // Squaring the index favours the first opcodes, as real code favours a few instructions.
      const std::size_t index = ((pick >> 8) % 10) * ((pick >> 16) % 10);
      half = vocabulary[index];
    } else {
      half = static_cast<std::uint16_t>(pick >> 32);
    }
    bytes += static_cast<char>(half & 0xFF);
    bytes += static_cast<char>(half >> 8);
  }
  bytes.resize(k_firmware_size);
  return bytes;
}

enum class layout { one_per_line, comma_lines, four_six_only };

// How many four- and six-letter words a file must hold, spread evenly from start to end.
struct quota {
  int four = 0;
  int six = 0;
};

// Emits words so that quotas are met in proportion to the bytes written so far.
struct pacer {
  quota want;
  quota done;
  std::size_t span;  // bytes over which the quotas are spread

  int due(int total, std::size_t pos) const {
    const std::size_t p = std::min(pos, span);
    return static_cast<int>((static_cast<std::uint64_t>(total) * p + span - 1) / span);
  }
  bool four_due(std::size_t pos) const { return done.four < due(want.four, pos); }
  bool six_due(std::size_t pos) const { return done.six < due(want.six, pos); }
  bool any_left() const { return done.four < want.four || done.six < want.six; }
  // The next kind to keep both on their shares: 6, 4, or 0 when both are met.
  int next_kind() const {
    if (done.six >= want.six && done.four >= want.four) {
      return 0;
    }
    if (done.six >= want.six) {
      return 4;
    }
    if (done.four >= want.four) {
      return 6;
    }
    const std::int64_t six_share = static_cast<std::int64_t>(done.six) * want.four;
    const std::int64_t four_share = static_cast<std::int64_t>(done.four) * want.six;
    return six_share <= four_share ? 6 : 4;
  }
};

const std::string& pick(rng& r, const std::vector<std::string>& pool) {
  return pool[r.below(pool.size())];
}

// The next token of a full-capacity list: a due four- or six-letter word, else a filler word.
const std::string& next_token(rng& r, const word_pools& pools, pacer& p, std::size_t pos) {
  if (p.six_due(pos)) {
    ++p.done.six;
    return pick(r, pools.six);
  }
  if (p.four_due(pos)) {
    ++p.done.four;
    return pick(r, pools.four);
  }
  return pick(r, pools.other);
}

// One line of the four/six-only layout: active while the quotas lag, else commented out, as in a
// master list where most entries are switched off.
std::string four_six_line(rng& r, const word_pools& pools, pacer& p, std::size_t pos) {
  const bool active = p.six_due(pos) || p.four_due(pos);
  const std::size_t count = 4 + r.below(9);
  std::string line = active ? "" : "// ";
  for (std::size_t i = 0; i < count; ++i) {
    int kind = 0;
    if (active) {
      kind = p.next_kind();
      if (kind == 0) {
        break;
      }
      ++(kind == 6 ? p.done.six : p.done.four);
    } else {
      // Commented words follow the dictionary's own mix of the two lengths.
      kind = r.below(pools.four.size() + pools.six.size()) < pools.six.size() ? 6 : 4;
    }
    if (i != 0) {
      line += ", ";
    }
    line += pick(r, kind == 6 ? pools.six : pools.four);
  }
  return line + "\n";
}

std::string full_list(const word_pools& pools, layout shape, quota want, std::uint64_t seed) {
  rng r{seed};
  pacer p{want, {}, k_list_size - k_quota_margin};
  std::string text;
  while (text.size() < k_list_size - k_tail_zone) {
    std::string line;
    if (shape == layout::four_six_only) {
      line = four_six_line(r, pools, p, text.size());
    } else if (shape == layout::one_per_line) {
      line = next_token(r, pools, p, text.size()) + "\n";
    } else {
      const std::size_t count = 3 + r.below(14);
      for (std::size_t i = 0; i < count; ++i) {
        line += (i == 0 ? "" : ", ") + next_token(r, pools, p, text.size() + line.size());
      }
      line += "\n";
    }
    text += line;
  }
  if (p.any_left() || text.size() > k_list_size - 3) {
    die("a full list missed its quota; the dictionary is too different from wamerican");
  }
  // One comment line makes the file exactly its size and stores nothing.
  const std::size_t rest = k_list_size - text.size();
  text += "// " + std::string(rest - 4, '-') + "\n";
  return text;
}

// A list as people write them: a heading comment, then words from the whole dictionary.
std::string typical_list(const word_pools& pools, std::size_t words, bool comma_lines,
                         std::uint64_t seed) {
  rng r{seed};
  std::string text = "// Words for the reading game, checked by hand\n";
  for (std::size_t i = 0; i < words; ++i) {
    text += pick(r, pools.all);
    const bool line_end = !comma_lines || r.below(8) == 0 || i + 1 == words;
    text += line_end ? "\n" : ", ";
  }
  return text;
}

void write_case(const std::string& dir, const std::string& lexicon,
                const std::vector<std::string>& lists, const std::string& firmware) {
  make_dir(dir);
  write_file(dir + "/firmware.bin", firmware);
  std::string config = "firmware.bin\nbench\n" + lexicon + "\n";
  for (std::size_t i = 0; i < lists.size(); ++i) {
    const std::string name = "list" + std::to_string(i + 1) + ".txt";
    write_file(dir + "/" + name, lists[i]);
    config += name + "\n";
  }
  write_file(dir + "/bench.cfg", config);
}

// Splits total into count parts differing by at most one, larger parts first.
int share(int total, int count, int index) { return total / count + (index < total % count); }

std::vector<std::string> full_lists(const word_pools& pools, layout shape, std::uint64_t seed) {
  std::vector<std::string> lists;
  for (int i = 0; i < k_full_list_count; ++i) {
    const quota want{share(k_full_four_letter_words, k_full_list_count, i),
                     share(k_full_six_letter_words, k_full_list_count, i)};
    lists.push_back(full_list(pools, shape, want, seed + static_cast<std::uint64_t>(i)));
  }
  return lists;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    die("usage: make_cases DICTIONARY OUTPUT_DIR");
  }
  const word_pools pools = load_pools(argv[1]);
  const std::string out = argv[2];
  make_dir(out);
  const std::string firmware = make_firmware();
  write_case(out + "/typical", "TYPICL",
             {typical_list(pools, 2000, false, 11), typical_list(pools, 1500, true, 12)}, firmware);
  write_case(out + "/full_one_per_line", "FULL1L", full_lists(pools, layout::one_per_line, 100),
             firmware);
  write_case(out + "/full_comma_lines", "FULLCL", full_lists(pools, layout::comma_lines, 200),
             firmware);
  write_case(out + "/full_four_six", "FULL46", full_lists(pools, layout::four_six_only, 300),
             firmware);
  return 0;
}
