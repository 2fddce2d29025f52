#include "package/package_writer.hpp"

#include <libdeflate.h>
#include <zip.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "base/console.hpp"
#include "base/messages.hpp"
#include "base/platform.hpp"
#include "package/init_packet.hpp"
#include "package/manifest.hpp"
#include "package/output_file.hpp"

namespace {

constexpr int k_deflate_level = 9;
constexpr unsigned long k_utf8_name_flag = 1UL << 11;
// Made by a Unix host, zip 2.0, with mode 0644: Info-ZIP's unzip translates names of entries
// made on a DOS host from code page 437 even when the UTF-8 flag is set, so UTF-8 names say Unix.
constexpr int k_made_by_unix = (3 << 8) | 20;
constexpr unsigned long k_unix_file_attributes = 0100644UL << 16;
// Internal attribute bit 0: the entry is text. manifest.json always is (names are escaped in it);
// the init packet and the image are binary.
constexpr unsigned long k_text_file = 1;

init_packet g_init_packet;
// Held here for the whole run, so that it stays reachable.
char* g_manifest_buffer = nullptr;

// Owners of a libdeflate compressor and of std::malloc'd memory.
struct compressor_freer {
  void operator()(libdeflate_compressor* compressor) const {
    libdeflate_free_compressor(compressor);
  }
};
using unique_compressor = std::unique_ptr<libdeflate_compressor, compressor_freer>;

struct memory_freer {
  void operator()(void* memory) const { std::free(memory); }
};

// File output for the zip writer over plain stdio. It is ours so that each entry can be flushed
// and checked on its own: a full disk is then reported at the step it hit, not only at the end.
// The file is made before the writer starts (opaque is it) and closed by its owner, never here.
voidpf ZCALLBACK open_output(voidpf opaque, const void* /*filename*/, int /*mode*/) {
  return opaque;
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

// The archive's end is written when the writer closes; the file's owner forces it to the disk.
int ZCALLBACK close_output(voidpf, voidpf stream) {
  return std::fflush(static_cast<std::FILE*>(stream)) == 0 ? 0 : -1;
}

int ZCALLBACK error_output(voidpf, voidpf stream) {
  return std::ferror(static_cast<std::FILE*>(stream));
}

enum class name_text { ascii, utf8, invalid };

// Whether name is ASCII alone, valid UTF-8 with bytes of 0x80 and above, or not valid UTF-8:
// an ill-formed or overlong sequence, a surrogate or a code point past U+10FFFF.
name_text classify_name(const char* name) {
  name_text kind = name_text::ascii;
  for (const auto* p = reinterpret_cast<const unsigned char*>(name); *p != 0;) {
    if (*p < 0x80) {
      ++p;
      continue;
    }
    kind = name_text::utf8;
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
      return name_text::invalid;
    }
    ++p;
    // A zero byte is no continuation byte, so a cut sequence stops here too.
    for (int i = 0; i < extra; ++i, ++p) {
      if ((*p & 0xC0) != 0x80) {
        return name_text::invalid;
      }
      code = (code << 6) | (*p & 0x3Fu);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      return name_text::invalid;
    }
  }
  return kind;
}

// Adds one entry from memory, deflated whole by compressor, and pushes it to the file; false on
// any failure, a failed allocation included. libdeflate deflates a whole buffer at level 9 in
// half the instructions zlib needs, its output no larger, so minizip only stores its output
// ("raw"); the level still sets the header's "maximum compression" flag.
// What the three entries go through: the archive, the file under it and one compressor.
struct entry_writer {
  zipFile zip;
  std::FILE* file;
  libdeflate_compressor* compressor;
};

bool add_entry(const entry_writer& out, const char* name, std::span<const std::byte> data,
               zip_fileinfo info) {
  const auto [zip, file, compressor] = out;
  const std::size_t room = libdeflate_deflate_compress_bound(compressor, data.size());
  const std::unique_ptr<void, memory_freer> deflated(std::malloc(room));
  if (deflated == nullptr) {
    return false;
  }
  const std::size_t deflated_size =
      libdeflate_deflate_compress(compressor, data.data(), data.size(), deflated.get(), room);
  const bool utf8 = classify_name(name) == name_text::utf8;
  info.external_fa = utf8 ? k_unix_file_attributes : 0;
  if (deflated_size == 0 ||
      zipOpenNewFileInZip4_64(zip, name, &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                              k_deflate_level, 1, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY,
                              nullptr, 0, utf8 ? k_made_by_unix : 0, utf8 ? k_utf8_name_flag : 0,
                              0) != ZIP_OK) {
    return false;
  }
  const bool written =
      zipWriteInFileInZip(zip, deflated.get(), static_cast<unsigned>(deflated_size)) == ZIP_OK;
  const bool closed =
      zipCloseFileInZipRaw64(zip, data.size(), libdeflate_crc32(0, data.data(), data.size())) ==
      ZIP_OK;
  return written && closed && std::fflush(file) == 0;
}

// The moment SOURCE_DATE_EPOCH names, in UTC, when it holds seconds since 1970 as decimal digits
// alone (no sign, no blank) that fit 64 bits: builds that must come out the same byte for byte
// set it. Empty when it is unset or holds anything else, which is then ignored.
std::optional<std::tm> source_date() {
  const char* const text = std::getenv("SOURCE_DATE_EPOCH");
  if (text == nullptr || *text == '\0') {
    return std::nullopt;
  }
  std::int64_t seconds = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    const int digit = *p - '0';
    if (digit < 0 || digit > 9 ||
        seconds > (std::numeric_limits<std::int64_t>::max() - digit) / 10) {
      return std::nullopt;
    }
    seconds = seconds * 10 + digit;
  }
  return utc_time(seconds);
}

zip_fileinfo entry_info() {
  const std::optional<std::tm> fixed = source_date();
  const std::tm now = clamp_to_zip_dates(fixed ? *fixed : local_time_now());
  zip_fileinfo info{};
  info.tmz_date.tm_sec = static_cast<uInt>(now.tm_sec);
  info.tmz_date.tm_min = static_cast<uInt>(now.tm_min);
  info.tmz_date.tm_hour = static_cast<uInt>(now.tm_hour);
  info.tmz_date.tm_mday = static_cast<uInt>(now.tm_mday);
  info.tmz_date.tm_mon = static_cast<uInt>(now.tm_mon);
  info.tmz_date.tm_year = static_cast<uInt>(now.tm_year + 1900);
  return info;
}

// Ends an archive that failed half way: prints line and releases the writer. Returns false.
bool abandon(zipFile zip, const char* line) {
  say("%s", line);
  (void)zipClose(zip, nullptr);
  return false;
}

}  // namespace

std::tm clamp_to_zip_dates(std::tm local) {
  constexpr int k_first_year = 1980 - 1900;
  constexpr int k_last_year = 2107 - 1900;
  if (local.tm_year < k_first_year) {
    local = std::tm{};
    local.tm_mday = 1;
    local.tm_year = k_first_year;
  } else if (local.tm_year > k_last_year) {
    local = std::tm{};
    local.tm_sec = 58;  // the zip date keeps seconds in twos
    local.tm_min = 59;
    local.tm_hour = 23;
    local.tm_mday = 31;
    local.tm_mon = 11;
    local.tm_year = k_last_year;
  }
  local.tm_sec = std::min(local.tm_sec, 59);  // a leap second
  return local;
}

bool is_unsafe_entry_name(const char* name) {
  return name[0] == '/' || std::strpbrk(name, ":\\") != nullptr ||
         classify_name(name) == name_text::invalid;
}

void allocate_manifest_buffer() {
  g_manifest_buffer = static_cast<char*>(std::malloc(k_manifest_buffer_size));
  if (g_manifest_buffer == nullptr) {
    fail(msg::k_manifest_malloc_failed);
  }
}

bool write_zip(std::FILE* file, const package_names& names, std::span<const std::uint8_t> image,
               std::uint16_t firmware_crc16) {
  zlib_filefunc64_def output{open_output, read_output,  write_output, tell_output,
                             seek_output, close_output, error_output, file};
  const zipFile zip = zipOpen2_64(names.zip.data(), APPEND_STATUS_CREATE, nullptr, &output);
  if (zip == nullptr) {
    say(msg::k_zip_init_failed);
    return false;
  }
  const zip_fileinfo info = entry_info();
  // One compressor serves the three entries; failing to make it fails the first entry.
  const unique_compressor compressor(libdeflate_alloc_compressor(k_deflate_level));
  build_init_packet(g_init_packet, firmware_crc16);
  const entry_writer out{zip, file, compressor.get()};
  if (compressor == nullptr ||
      !add_entry(out, names.dat.data(), std::as_bytes(std::span(g_init_packet)), info)) {
    return abandon(zip, msg::k_add_dat_failed);
  }
  const std::span<char> manifest_buffer(g_manifest_buffer, k_manifest_buffer_size);
  const int manifest_length =
      write_manifest(manifest_buffer, names.app.data(), names.dat.data(), firmware_crc16);
  zip_fileinfo text_info = info;
  text_info.internal_fa = k_text_file;
  if (manifest_length < 0 ||
      !add_entry(out, "manifest.json",
                 std::as_bytes(manifest_buffer.first(static_cast<std::size_t>(manifest_length))),
                 text_info)) {
    return abandon(zip, msg::k_add_manifest_failed);
  }
  if (!add_entry(out, names.app.data(), std::as_bytes(image), info)) {
    return abandon(zip, msg::k_add_app_failed);
  }
  if (zipClose(zip, nullptr) != ZIP_OK) {
    say(msg::k_zip_finalize_failed);
    return false;
  }
  return true;
}

int write_dfu_package(const package_names& names, std::span<const std::uint8_t> image,
                      std::uint16_t firmware_crc16, std::span<const char* const> input_files) {
  const char* const zip_name = names.zip.data();
  say(msg::k_creating_zip);
  // Refused before an old package is even announced: nothing of the user's is touched.
  const output_refusal refusal = refuse_output_path(zip_name, input_files);
  if (refusal == output_refusal::input_file) {
    say(msg::k_package_is_input, zip_name);
    return 1;
  }
  if (refusal == output_refusal::device_name || is_unsafe_entry_name(names.dat.data())) {
    say(msg::k_add_dat_failed);
    return 1;
  }
  output_file out = open_output_file(zip_name);
  if (out.stream == nullptr) {
    say(msg::k_zip_init_failed);
    discard_output_file(out);
    return 1;
  }
  if (!write_zip(out.stream.get(), names, image, firmware_crc16)) {
    discard_output_file(out);
    return 1;
  }
  // Fails when something that is no file is in the way, such as a folder that holds files.
  if (!keep_output_file(out)) {
    say(msg::k_zip_init_failed);
    discard_output_file(out);
    return 1;
  }
  say(msg::k_package_created, zip_name);
  return 0;
}
