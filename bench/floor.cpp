// The floor a run is measured against: start up, read the three entries a package holds (init
// packet, manifest, app image), deflate each whole with libdeflate at level 9 and write them as
// a zip through minizip in raw mode, as the tool does. It does nothing else, so no run of the
// tool can cost less. Built with FLOOR_WITH_ZLIB (the floor_zlib program) it lets minizip deflate
// with zlib at level 9 instead, as the tool did before libdeflate, to show what the choice of
// compressor is worth.
//
//   floor DAT_FILE MANIFEST_FILE APP_FILE ZIP_FILE
//
// Plain C library calls only: the program neither needs nor loads libstdc++, so its start-up is
// the least a dynamically linked program pays.
#ifndef FLOOR_WITH_ZLIB
#include <libdeflate.h>
#endif
#include <zip.h>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr std::size_t k_max_entry_size = 146432;  // the largest app image
constexpr int k_deflate_level = 9;

unsigned char g_buffer[k_max_entry_size];

[[noreturn]] void die(const char* what, const char* path) {
  (void)std::fprintf(stderr, "floor: %s %s\n", what, path);
  std::exit(1);
}

// Reads the whole file at path into g_buffer; returns its size.
std::size_t read_entry(const char* path) {
  std::FILE* const file = std::fopen(path, "rb");
  if (file == nullptr) {
    die("can't open", path);
  }
  const std::size_t size = std::fread(g_buffer, 1, sizeof g_buffer, file);
  (void)std::fclose(file);
  return size;
}

#ifdef FLOOR_WITH_ZLIB
void add_entry(zipFile zip, const char* name, const char* path) {
  const std::size_t size = read_entry(path);
  const zip_fileinfo info{};
  if (zipOpenNewFileInZip4_64(zip, name, &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                              k_deflate_level, 0, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY,
                              nullptr, 0, 0, 0, 0) != ZIP_OK ||
      zipWriteInFileInZip(zip, g_buffer, static_cast<unsigned>(size)) != ZIP_OK ||
      zipCloseFileInZip(zip) != ZIP_OK) {
    die("can't add", path);
  }
}
#else
// Room for the deflated largest entry: libdeflate's output exceeds its input by a few bytes at
// most (stored blocks), well within this margin.
unsigned char g_deflated[k_max_entry_size + 1024];
// One compressor for the three entries, as in the tool. Made on first use by plain code: a
// function-local static would need libstdc++'s guard functions, and so libstdc++ at start-up.
libdeflate_compressor* g_compressor = nullptr;

void add_entry(zipFile zip, const char* name, const char* path) {
  if (g_compressor == nullptr) {
    g_compressor = libdeflate_alloc_compressor(k_deflate_level);
  }
  const std::size_t size = read_entry(path);
  const std::size_t deflated_size =
      g_compressor == nullptr ? 0
                              : libdeflate_deflate_compress(g_compressor, g_buffer, size,
                                                            g_deflated, sizeof g_deflated);
  const zip_fileinfo info{};
  if (deflated_size == 0 ||
      zipOpenNewFileInZip4_64(zip, name, &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                              k_deflate_level, 1, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY,
                              nullptr, 0, 0, 0, 0) != ZIP_OK ||
      zipWriteInFileInZip(zip, g_deflated, static_cast<unsigned>(deflated_size)) != ZIP_OK ||
      zipCloseFileInZipRaw64(zip, size, libdeflate_crc32(0, g_buffer, size)) != ZIP_OK) {
    die("can't add", path);
  }
}
#endif

// The entry name is the file name without its folder, as the tool names its entries.
const char* base_name(const char* path) {
  const char* name = path;
  for (const char* p = path; *p != '\0'; ++p) {
    if (*p == '/') {
      name = p + 1;
    }
  }
  return name;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    (void)std::fprintf(stderr, "usage: floor DAT_FILE MANIFEST_FILE APP_FILE ZIP_FILE\n");
    return 1;
  }
  const zipFile zip = zipOpen64(argv[4], APPEND_STATUS_CREATE);
  if (zip == nullptr) {
    die("can't create", argv[4]);
  }
  for (int i = 1; i <= 3; ++i) {
    add_entry(zip, base_name(argv[i]), argv[i]);
  }
  if (zipClose(zip, nullptr) != ZIP_OK) {
    die("can't finish", argv[4]);
  }
  return 0;
}
