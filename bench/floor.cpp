// The floor a run is measured against: start up, read the three entries a package holds (init
// packet, manifest, app image) and write them as a zip at level 9 through minizip, with the same
// deflate settings as the tool. It does nothing else, so no run of the tool can cost less.
//
//   floor DAT_FILE MANIFEST_FILE APP_FILE ZIP_FILE
//
// Plain C library calls only: the program neither needs nor loads libstdc++, so its start-up is
// the least a dynamically linked program pays.
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
