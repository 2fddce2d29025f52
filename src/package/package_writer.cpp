#include "package/package_writer.hpp"

#include <zip.h>

#include <cstdio>
#include <cstring>

#include "base/console.hpp"
#include "base/messages.hpp"
#include "base/platform.hpp"
#include "package/init_packet.hpp"
#include "package/manifest.hpp"

namespace {

constexpr int k_deflate_level = 9;
constexpr unsigned long k_utf8_name_flag = 1UL << 11;
// Made by a Unix host, zip 2.0, with mode 0644: Info-ZIP's unzip translates names of entries
// made on a DOS host from code page 437 even when the UTF-8 flag is set, so UTF-8 names say Unix.
constexpr int k_made_by_unix = (3 << 8) | 20;
constexpr unsigned long k_unix_file_attributes = 0100644UL << 16;

init_packet g_init_packet;

// File output for the zip writer over plain stdio. It is ours so that each entry can be flushed
// and checked on its own: a full disk is then reported at the step it hit, not only at the end.
voidpf ZCALLBACK open_output(voidpf opaque, const void* filename, int /*mode*/) {
  std::FILE* const file = create_new_file(static_cast<const char*>(filename));
  *static_cast<std::FILE**>(opaque) = file;
  return file;
}

uLong ZCALLBACK read_output(voidpf, voidpf, void*, uLong) { return 0; }

uLong ZCALLBACK write_output(voidpf, voidpf stream, const void* buf, uLong size) {
  return static_cast<uLong>(std::fwrite(buf, 1, size, static_cast<std::FILE*>(stream)));
}

ZPOS64_T ZCALLBACK tell_output(voidpf, voidpf stream) {
  const long position = std::ftell(static_cast<std::FILE*>(stream));
  return position < 0 ? static_cast<ZPOS64_T>(-1) : static_cast<ZPOS64_T>(position);
}

long ZCALLBACK seek_output(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
  const int whence = origin == ZLIB_FILEFUNC_SEEK_CUR   ? SEEK_CUR
                     : origin == ZLIB_FILEFUNC_SEEK_END ? SEEK_END
                                                        : SEEK_SET;
  return std::fseek(static_cast<std::FILE*>(stream), static_cast<long>(offset), whence) == 0 ? 0
                                                                                             : -1;
}

int ZCALLBACK close_output(voidpf, voidpf stream) {
  return std::fclose(static_cast<std::FILE*>(stream)) == 0 ? 0 : -1;
}

int ZCALLBACK error_output(voidpf, voidpf stream) {
  return std::ferror(static_cast<std::FILE*>(stream));
}

// True when name has bytes of 0x80 and above and all of them form valid UTF-8 sequences.
bool is_utf8_beyond_ascii(const char* name) {
  bool beyond_ascii = false;
  for (const auto* p = reinterpret_cast<const unsigned char*>(name); *p != 0;) {
    if (*p < 0x80) {
      ++p;
      continue;
    }
    beyond_ascii = true;
    int extra = 0;
    unsigned min = 0;
    unsigned code = 0;
    if ((*p & 0xE0) == 0xC0) {
      extra = 1, min = 0x80, code = *p & 0x1Fu;
    } else if ((*p & 0xF0) == 0xE0) {
      extra = 2, min = 0x800, code = *p & 0x0Fu;
    } else if ((*p & 0xF8) == 0xF0) {
      extra = 3, min = 0x10000, code = *p & 0x07u;
    } else {
      return false;
    }
    ++p;
    for (int i = 0; i < extra; ++i, ++p) {
      if ((*p & 0xC0) != 0x80) {
        return false;
      }
      code = (code << 6) | (*p & 0x3Fu);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
  }
  return beyond_ascii;
}

// Adds one deflated entry from memory and pushes it to the file; false on any failure.
bool add_entry(zipFile zip, std::FILE* file, const char* name, const void* data, std::size_t size,
               zip_fileinfo info) {
  if (is_unsafe_entry_name(name)) {
    return false;
  }
  const bool utf8 = is_utf8_beyond_ascii(name);
  info.external_fa = utf8 ? k_unix_file_attributes : 0;
  if (zipOpenNewFileInZip4_64(zip, name, &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                              k_deflate_level, 0, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY,
                              nullptr, 0, utf8 ? k_made_by_unix : 0, utf8 ? k_utf8_name_flag : 0,
                              0) != ZIP_OK) {
    return false;
  }
  const bool written = zipWriteInFileInZip(zip, data, static_cast<unsigned>(size)) == ZIP_OK;
  const bool closed = zipCloseFileInZip(zip) == ZIP_OK;
  return written && closed && std::fflush(file) == 0;
}

zip_fileinfo entry_info() {
  const std::tm now = local_time_now();
  zip_fileinfo info{};
  info.tmz_date.tm_sec = static_cast<uInt>(now.tm_sec);
  info.tmz_date.tm_min = static_cast<uInt>(now.tm_min);
  info.tmz_date.tm_hour = static_cast<uInt>(now.tm_hour);
  info.tmz_date.tm_mday = static_cast<uInt>(now.tm_mday);
  info.tmz_date.tm_mon = static_cast<uInt>(now.tm_mon);
  info.tmz_date.tm_year = static_cast<uInt>(now.tm_year + 1900);
  return info;
}

// Ends a package that failed half way: the writer's state is released and the file removed, so
// nothing that looks like a package is left at the zip file name.
int abandon(zipFile zip, const char* zip_name, const char* line) {
  say("%s", line);
  (void)zipClose(zip, nullptr);
  (void)std::remove(zip_name);
  return 1;
}

}  // namespace

bool is_unsafe_entry_name(const char* name) {
  return name[0] == '/' || std::strpbrk(name, ":\\") != nullptr;
}

int write_dfu_package(const package_names& names, const app_image& image,
                      std::span<char> manifest_buffer) {
  const char* const zip_name = names.zip.data();
  say(msg::k_creating_zip);
  if (path_exists(zip_name)) {
    say(msg::k_deleting_existing, zip_name);
    (void)std::remove(zip_name);
  }

  std::FILE* file = nullptr;
  zlib_filefunc64_def output{open_output, read_output,  write_output, tell_output,
                             seek_output, close_output, error_output, &file};
  const zipFile zip = zipOpen2_64(zip_name, APPEND_STATUS_CREATE, nullptr, &output);
  if (zip == nullptr) {
    say(msg::k_zip_init_failed);
    return 1;
  }

  const zip_fileinfo info = entry_info();
  build_init_packet(g_init_packet, image.firmware_crc16);
  if (!add_entry(zip, file, names.dat.data(), g_init_packet.data(), g_init_packet.size(), info)) {
    return abandon(zip, zip_name, msg::k_add_dat_failed);
  }
  const int manifest_length =
      write_manifest(manifest_buffer, names.app.data(), names.dat.data(), image.firmware_crc16);
  if (manifest_length < 0 || !add_entry(zip, file, "manifest.json", manifest_buffer.data(),
                                        static_cast<std::size_t>(manifest_length), info)) {
    return abandon(zip, zip_name, msg::k_add_manifest_failed);
  }
  if (!add_entry(zip, file, names.app.data(), image.bytes.data(), image.bytes.size(), info)) {
    return abandon(zip, zip_name, msg::k_add_app_failed);
  }
  if (zipClose(zip, nullptr) != ZIP_OK) {
    say(msg::k_zip_finalize_failed);
    (void)std::remove(zip_name);
    return 1;
  }
  say(msg::k_package_created, zip_name);
  return 0;
}
