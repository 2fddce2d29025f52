// Fuzz target: a whole run, from the configuration file's bytes to the package's bytes, in a
// scratch folder made once per process. An input is the configuration file, optionally followed
// by the line "@@words@@" and the text of a word list file named words.txt. The folder holds
// fixed files the configuration can name (see make_fixtures); paths leading out of it are
// refused as inputs, as they could touch files elsewhere.
//
// After each run:
//   status 0      the package is at the zip file name, and reading it back gives the three
//                 entries, in order, with intact data;
//   failed early  (a failure line ended the run before packaging) nothing was written;
//   status 1      (a packaging step failed) nothing is left at the zip file name, or what was
//                 there is untouched (a refused name, or the zip file name is an input file);
// and in every case the folder holds no file but its fixtures and the package.
//
// The program's four buffers are meant to live until the process ends, but here one process
// runs many times: allocator hooks note the buffers a run allocates, and they are freed after
// it, so the leak checker still watches everything else. (Without a sanitizer runtime, as in
// the plain replay driver, there are no hooks and each run's buffers are simply left.)
#include <fcntl.h>
#include <unistd.h>
#include <unzip.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_console.hpp"
#include "lexicon/app_image.hpp"
#include "lexicon/word_store.hpp"
#include "package/init_packet.hpp"
#include "package/manifest.hpp"
#include "run_control/config.hpp"
#include "run_control/run.hpp"

namespace fs = std::filesystem;

// From the sanitizer runtime. Declared weak and here, not through its header, so that the plain
// replay driver (replay_main.cpp) builds with any compiler and runs without it.
extern "C" [[gnu::weak]] int __sanitizer_install_malloc_and_free_hooks(
    void (*malloc_hook)(const volatile void*, std::size_t),
    void (*free_hook)(const volatile void*));

namespace {

constexpr std::string_view k_words_marker = "\n@@words@@\n";

int g_home = -1;  // the working folder the fuzzer was started in

void check(bool condition, const char* what) {
  if (!condition) {
    (void)std::fprintf(stderr, "run_fuzzer: %s\n", what);
    (void)fchdir(g_home);  // so the crash input is saved where the fuzzer was told to save it
    std::abort();
  }
}

// --- The program's buffers, noted while a run is under way ---

constexpr std::array<std::size_t, 3> k_buffer_sizes = {k_word_buffer_size, k_manifest_buffer_size,
                                                       k_app_buffer_size};
bool g_noting = false;
std::array<void*, 8> g_noted{};
std::size_t g_noted_count = 0;

void note_malloc(const volatile void* memory, std::size_t size) {
  if (!g_noting || g_noted_count == g_noted.size()) {
    return;
  }
  for (const std::size_t buffer_size : k_buffer_sizes) {
    if (size == buffer_size) {
      g_noted[g_noted_count++] = const_cast<void*>(memory);
      return;
    }
  }
}

void note_free(const volatile void* memory) {
  for (std::size_t i = 0; g_noting && i < g_noted_count; ++i) {
    if (g_noted[i] == memory) {
      g_noted[i] = g_noted[--g_noted_count];
      return;
    }
  }
}

void free_noted() {
  for (std::size_t i = 0; i < g_noted_count; ++i) {
    std::free(g_noted[i]);
  }
  g_noted_count = 0;
}

// --- The scratch folder ---

std::string g_folder;
std::set<std::string> g_fixtures;

void write_fixture(const std::string& name, std::string_view content) {
  std::ofstream out(g_folder + "/" + name, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

std::string firmware(std::size_t size) {
  std::string bytes;
  std::uint32_t state = 0x9E3779B9u;
  for (std::size_t i = 0; i < size; ++i) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    bytes += static_cast<char>(state & 0xFF);
  }
  return bytes;
}

const std::string k_old_package = "old package";

void make_fixtures() {
  std::string pattern = (fs::temp_directory_path() / "zivavod-fuzz-XXXXXX").string();
  check(mkdtemp(pattern.data()) != nullptr, "cannot make the scratch folder");
  g_folder = pattern;
  write_fixture("fw.bin", firmware(k_firmware_head_size + 100));
  write_fixture("short.bin", firmware(k_firmware_head_size - 1));
  write_fixture("a.txt", "// nature\nlamp bird garden\r\nLamp, Garden. e-mail\rwolf\n");
  write_fixture("b.txt", std::string("tree,,,moss\0hidden\nforest river\n", 31));
  write_fixture("big.txt", std::string(k_word_buffer_size + 1, 'a'));
  std::string too_many;
  for (int i = 0; i < 25841; ++i) {
    too_many += "garden\n";
  }
  write_fixture("full.txt", too_many);
  write_fixture("old.zip", k_old_package);
  fs::create_directory(g_folder + "/dir");
  for (const auto& entry : fs::directory_iterator(g_folder)) {
    g_fixtures.insert(entry.path().filename().string());
  }
}

// Removes whatever the last run left, and puts back an old package it may have replaced.
void reset_folder() {
  std::vector<fs::path> extra;
  for (const auto& entry : fs::recursive_directory_iterator(g_folder)) {
    const fs::path relative = fs::relative(entry.path(), g_folder);
    if (g_fixtures.count(relative.string()) == 0) {
      extra.push_back(entry.path());
    }
  }
  for (const fs::path& path : extra) {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
  std::error_code ignored;
  if (!fs::is_regular_file(g_folder + "/old.zip", ignored)) {
    fs::remove_all(g_folder + "/old.zip", ignored);
    write_fixture("old.zip", k_old_package);
  }
}

std::set<std::string> folder_entries() {
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(g_folder)) {
    names.insert(fs::relative(entry.path(), g_folder).string());
  }
  return names;
}

std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// --- What the input may name ---

bool stays_in_folder(const char* path) {
  const std::string_view text(path);
  return !text.starts_with('/') && text.find("..") == std::string_view::npos;
}

// --- Reading the package back ---

std::uint32_t le(std::string_view bytes, std::size_t at, int width) {
  std::uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) {
    value = (value << 8) | static_cast<std::uint8_t>(bytes[at + static_cast<std::size_t>(i)]);
  }
  return value;
}

// CRC-16/CCITT-FALSE the textbook way, bit by bit, apart from the program's own.
std::uint16_t reference_crc16(std::string_view bytes) {
  std::uint32_t crc = 0xFFFF;
  for (const char c : bytes) {
    crc ^= static_cast<std::uint32_t>(static_cast<std::uint8_t>(c)) << 8;
    for (int bit = 0; bit < 8; ++bit) {
      crc = ((crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1) & 0xFFFF;
    }
  }
  return static_cast<std::uint16_t>(crc);
}

// The image's layout: firmware head, lexicon header, zero gap, the two tables, 0xFF fill.
void check_image(std::string_view image, const char* bin_path) {
  check(
      image.size() >= k_tables_offset && image.size() <= k_app_buffer_size && image.size() % 4 == 0,
      "image length out of range");
  if (std::string_view(bin_path) == "fw.bin") {
    static const std::string head = firmware(k_firmware_head_size);
    check(image.substr(0, k_firmware_head_size) == head,
          "image does not start with the firmware head");
  }
  const std::string_view header = image.substr(k_firmware_head_size, k_lexicon_header_size);
  check(le(header, 0, 2) == k_lexicon_magic, "lexicon magic differs");
  for (const char c : header.substr(2, k_lexicon_name_length)) {
    check((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ',
          "lexicon name byte out of range");
  }
  const std::uint32_t n4 = le(header, 12, 4);
  const std::uint32_t n6 = le(header, 20, 4);
  check(le(header, 8, 4) == k_tables_device_address + 4 * n6, "four-letter table address");
  check(le(header, 16, 4) == k_tables_device_address, "six-letter table address");
  const std::size_t gap = k_firmware_head_size + k_lexicon_header_size;
  check(image.substr(gap, k_tables_offset - gap).find_first_not_of('\0') == std::string::npos,
        "gap behind the header not zero");
  const std::size_t unfilled = k_tables_offset + 4 * std::size_t{n6} + 3 * std::size_t{n4};
  check(image.size() == (unfilled + 3) / 4 * 4, "image length does not match the counts");
  check(image.substr(unfilled).find_first_not_of('\xFF') == std::string::npos, "fill is not 0xFF");
}

// Reads the current entry whole; false on a read error or a CRC that does not match.
bool read_entry(unzFile zip, std::string& content) {
  if (unzOpenCurrentFile(zip) != UNZ_OK) {
    return false;
  }
  std::array<char, 16384> chunk{};
  int n = 0;
  while ((n = unzReadCurrentFile(zip, chunk.data(), chunk.size())) > 0) {
    content.append(chunk.data(), static_cast<std::size_t>(n));
  }
  return unzCloseCurrentFile(zip) == UNZ_OK && n == 0;
}

void check_package(const package_names& names, const char* bin_path) {
  const unzFile zip = unzOpen64(names.zip.data());
  check(zip != nullptr, "the package cannot be opened as a zip");
  unz_global_info64 info{};
  check(unzGetGlobalInfo64(zip, &info) == UNZ_OK && info.number_entry == 3,
        "the package does not hold three entries");
  const std::array<std::string, 3> expected_names = {names.dat.data(), "manifest.json",
                                                     names.app.data()};
  std::array<std::string, 3> contents;
  check(unzGoToFirstFile(zip) == UNZ_OK, "no first entry");
  for (std::size_t i = 0; i < 3; ++i) {
    std::array<char, 1024> name{};
    unz_file_info64 entry{};
    check(unzGetCurrentFileInfo64(zip, &entry, name.data(), name.size(), nullptr, 0, nullptr, 0) ==
              UNZ_OK,
          "entry information unreadable");
    check(expected_names[i] == name.data(), "entry names or their order differ");
    check(entry.compression_method == Z_DEFLATED, "entry not deflated");
    check(read_entry(zip, contents[i]), "entry data unreadable or damaged");
    if (i < 2) {
      check(unzGoToNextFile(zip) == UNZ_OK, "entry missing");
    }
  }
  check(unzClose(zip) == UNZ_OK, "closing the package failed");

  check_image(contents[2], bin_path);
  check(contents[0].size() == k_init_packet_size, "init packet size differs");
  const std::uint32_t crc = le(contents[0], 12, 2);
  check(crc == reference_crc16(contents[2]), "init packet CRC is not the image's CRC");
  check(contents[1].find("\"firmware_crc16\": " + std::to_string(crc) + ",") != std::string::npos,
        "manifest and init packet disagree on the CRC");
  check(contents[1].ends_with("}") && contents[1].find('\0') == std::string::npos,
        "manifest text damaged");
}

int run_in_folder() {
  std::array<char, 8> config_name = {"run.cfg"};
  std::array<char, 8> program = {"zivavod"};
  std::array<char*, 3> argv = {program.data(), config_name.data(), nullptr};
  g_word_store = word_store{};
  g_noting = true;
  int status = -1;
  try {
    status = run(2, argv.data());
  } catch (const run_ended& ended) {
    status = -ended.status;  // told apart from a packaging failure by its sign
  }
  g_noting = false;
  free_noted();
  g_word_store = word_store{};
  return status;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_home = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  check(g_home >= 0, "cannot open the working folder");
  if (__sanitizer_install_malloc_and_free_hooks != nullptr) {
    __sanitizer_install_malloc_and_free_hooks(note_malloc, note_free);
  }
  make_fixtures();
  std::atexit([] {
    std::error_code ignored;
    fs::remove_all(g_folder, ignored);
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t marker = input.find(k_words_marker);
  const std::string_view config = input.substr(0, marker);

  // The slots as the program will see them, to refuse paths out of the folder up front.
  static char empty[1] = {0};
  std::FILE* const stream =
      fmemopen(config.empty() ? empty : const_cast<char*>(config.data()), config.size(), "r");
  check(stream != nullptr, "fmemopen failed");
  const config_result slots = read_config_lines(stream);
  (void)std::fclose(stream);
  for (std::size_t i = 0; i < k_slot_count; ++i) {
    if (i != 2 && !stays_in_folder(slots.slots[i].data())) {
      return -1;
    }
  }
  const package_names names = derive_names(slots.slots);
  const std::string zip_name = names.zip.data();

  reset_folder();
  write_fixture("run.cfg", config);
  if (marker != std::string_view::npos) {
    write_fixture("words.txt", input.substr(marker + k_words_marker.size()));
  }
  const std::set<std::string> before = folder_entries();
  const std::string zip_before = read_all(g_folder + "/" + zip_name);

  check(chdir(g_folder.c_str()) == 0, "cannot enter the scratch folder");
  const int status = run_in_folder();
  if (status == 0) {
    check_package(names, slots.slots[0].data());
  }
  check(fchdir(g_home) == 0, "cannot leave the scratch folder");

  // The zip file name as the folder listing spells it.
  const std::string zip_entry = fs::path(zip_name).lexically_normal().string();
  std::set<std::string> expected = before;
  if (status == 0) {
    expected.insert(zip_entry);
  } else if (status > 0) {
    check(status == 1, "packaging ended with a status other than 0 or 1");
    if (read_all(g_folder + "/" + zip_name) != zip_before) {
      expected.erase(zip_entry);
    }
  } else {
    check(read_all(g_folder + "/" + zip_name) == zip_before, "an early failure touched the zip");
  }
  check(folder_entries() == expected, "the run left files other than its package");
  return 0;
}
