#include "package/zip_entry_writer.hpp"

#include <libdeflate.h>
#include <zip.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <type_traits>

#include "base/utf8.hpp"

static_assert(std::is_same_v<zip_handle, zipFile>);

namespace {

constexpr unsigned long k_utf8_name_flag = 1UL << 11;
// Made by a Unix host, zip 2.0, with mode 0644: Info-ZIP's unzip translates names of entries
// made on a DOS host from code page 437 even when the UTF-8 flag is set, so UTF-8 names say Unix.
constexpr int k_made_by_unix = (3 << 8) | 20;
constexpr unsigned long k_unix_file_attributes = 0100644UL << 16;
// Internal attribute bit 0: the entry is text. manifest.json always is (names are escaped in it);
// the init packet and the image are binary.
constexpr unsigned long k_text_file = 1;

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

enum class name_encoding { ascii, utf8, invalid };

// Whether name is ASCII alone, valid UTF-8 with bytes of 0x80 and above, or not valid UTF-8:
// an ill-formed or overlong sequence, a surrogate or a code point past U+10FFFF.
name_encoding classify_name(const char* name) {
  const std::string_view text(name);
  const std::span bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  std::size_t invalid_at = 0;
  if (!is_utf8(bytes, invalid_at)) {
    return name_encoding::invalid;
  }
  return std::any_of(bytes.begin(), bytes.end(), [](std::uint8_t byte) { return byte >= 0x80; })
             ? name_encoding::utf8
             : name_encoding::ascii;
}

}  // namespace

void compressor_freer::operator()(libdeflate_compressor* compressor) const {
  libdeflate_free_compressor(compressor);
}

unique_compressor make_compressor() {
  return unique_compressor(libdeflate_alloc_compressor(k_deflate_level));
}

zip_handle open_archive(std::FILE* file, const char* name) {
  zlib_filefunc64_def output{open_output, read_output,  write_output, tell_output,
                             seek_output, close_output, error_output, file};
  return zipOpen2_64(name, APPEND_STATUS_CREATE, nullptr, &output);
}

// Adds one entry from memory, deflated whole by compressor, and pushes it to the file; false on
// any failure, a failed allocation included. libdeflate deflates a whole buffer at level 9 in
// half the instructions zlib needs, its output no larger, so minizip only stores its output
// ("raw"); the level still sets the header's "maximum compression" flag.
bool add_entry(const entry_writer& out, const entry_content& entry) {
  const auto [zip, file, compressor] = out;
  const auto [name, data, date, text] = entry;
  const std::size_t room = libdeflate_deflate_compress_bound(compressor, data.size());
  const std::unique_ptr<void, memory_freer> deflated(std::malloc(room));
  if (deflated == nullptr) {
    return false;
  }
  const std::size_t deflated_size =
      libdeflate_deflate_compress(compressor, data.data(), data.size(), deflated.get(), room);
  const bool utf8 = classify_name(name) == name_encoding::utf8;
  zip_fileinfo info{};
  info.tmz_date.tm_sec = static_cast<uInt>(date.tm_sec);
  info.tmz_date.tm_min = static_cast<uInt>(date.tm_min);
  info.tmz_date.tm_hour = static_cast<uInt>(date.tm_hour);
  info.tmz_date.tm_mday = static_cast<uInt>(date.tm_mday);
  info.tmz_date.tm_mon = static_cast<uInt>(date.tm_mon);
  info.tmz_date.tm_year = static_cast<uInt>(date.tm_year + 1900);
  info.internal_fa = text ? k_text_file : 0;
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

bool is_unsafe_entry_name(const char* name) {
  return name[0] == '/' || std::strpbrk(name, ":\\") != nullptr ||
         classify_name(name) == name_encoding::invalid;
}
