#include "inspect/zip_reader.hpp"

#include <zlib.h>

#include <algorithm>
#include <array>

#include "base/bytes.hpp"
#include "base/utf8.hpp"

namespace {

constexpr std::uint32_t k_local_signature = 0x04034B50;
constexpr std::uint32_t k_central_signature = 0x02014B50;
constexpr std::uint32_t k_end_signature = 0x06054B50;
constexpr std::size_t k_local_header_size = 30;
constexpr std::size_t k_central_record_size = 46;
constexpr std::size_t k_end_record_size = 22;
constexpr std::size_t k_max_comment_size = 0xFFFF;
// zivavod writes zip 2.0 archives; its flags are the deflate level's (bits 1 and 2) and, for a
// name beyond ASCII, UTF-8 (bit 11). Bit 0 is encryption; every other bit asks a reader for
// something zivavod never writes (a data descriptor, patch data, strong encryption...).
constexpr unsigned k_max_version_needed = 20;
constexpr unsigned k_encrypted_flag = 0x0001;
constexpr unsigned k_utf8_flag = 0x0800;
constexpr unsigned k_written_flags = 0x0006 | k_utf8_flag;
constexpr unsigned k_deflated = 8;
constexpr unsigned k_stored = 0;

// Fields a local header repeats from the central-directory record, by their place in the local
// header; the record holds each 2 bytes further on.
struct shared_field {
  const char* what;
  std::size_t at;
  std::size_t width;
};
constexpr std::size_t k_central_shift = 2;
constexpr std::array<shared_field, 6> k_shared_fields = {{{"version needed", 4, 2},
                                                          {"flags", 6, 2},
                                                          {"method", 8, 2},
                                                          {"CRC-32", 14, 4},
                                                          {"compressed size", 18, 4},
                                                          {"size", 22, 4}}};

// The end record: the last one in the file, searched back over the longest comment it can have.
std::optional<std::size_t> find_end_record(std::span<const std::uint8_t> package) {
  if (package.size() < k_end_record_size) {
    return std::nullopt;
  }
  const std::size_t last = package.size() - k_end_record_size;
  const std::size_t first = last > k_max_comment_size ? last - k_max_comment_size : 0;
  for (std::size_t at = last + 1; at-- > first;) {
    if (get_le(package.subspan(at, 4)) == k_end_signature) {
      return at;
    }
  }
  return std::nullopt;
}

// Checks the local header of the entry whose central-directory record is record, and finds its
// data; end is where the data must end at the latest (the central directory's start).
void read_local_header(std::span<const std::uint8_t> package, std::span<const std::uint8_t> record,
                       std::size_t end, zip_entry& e, inspection& r) {
  const text_line name = printable(e.name);
  const std::size_t offset = get_le(record.subspan(42, 4));
  if (offset > end || end - offset < k_local_header_size ||
      get_le(package.subspan(offset, 4)) != k_local_signature) {
    note_problem(r, "entry \"%s\": no local header at byte %lu", name.data(),
                 static_cast<unsigned long>(offset));
    return;
  }
  const auto local = package.subspan(offset);
  for (const shared_field& f : k_shared_fields) {
    const std::uint32_t value = get_le(local.subspan(f.at, f.width));
    const std::uint32_t stated = get_le(record.subspan(f.at + k_central_shift, f.width));
    if (value != stated) {
      note_problem(
          r, "entry \"%s\": its local header gives the %s as %lu, the central directory as %lu",
          name.data(), f.what, static_cast<unsigned long>(value),
          static_cast<unsigned long>(stated));
    }
  }
  const std::size_t name_size = get_le(local.subspan(26, 2));
  const std::size_t extra_size = get_le(local.subspan(28, 2));
  const std::size_t data_at = offset + k_local_header_size + name_size + extra_size;
  const std::size_t data_size = get_le(record.subspan(20, 4));
  if (data_at > end || end - data_at < data_size) {
    note_problem(r, "entry \"%s\": its data runs past the start of the central directory",
                 name.data());
    return;
  }
  const std::string_view local_name(reinterpret_cast<const char*>(&local[k_local_header_size]),
                                    name_size);
  if (local_name != e.name) {
    note_problem(r, "entry \"%s\": its local header names \"%s\"", name.data(),
                 printable(local_name).data());
  }
  if (extra_size != 0) {
    note_problem(
        r, "entry \"%s\": its local header carries an extra field, which zivavod does not write",
        name.data());
  }
  e.data = package.subspan(data_at, data_size);
}

// Checks what a central-directory record states of its entry beyond where it lies.
void check_record(std::span<const std::uint8_t> record, const zip_entry& e, inspection& r) {
  const text_line name = printable(e.name);
  const unsigned version = get_le(record.subspan(6, 2));
  const unsigned flags = get_le(record.subspan(8, 2));
  if (version > k_max_version_needed) {
    note_problem(r, "entry \"%s\" needs zip version %u.%u to be read, not 2.0", name.data(),
                 version / 10, version % 10);
  }
  if ((flags & k_encrypted_flag) != 0) {
    note_problem(r, "entry \"%s\" is marked encrypted", name.data());
  }
  if ((flags & ~(k_written_flags | k_encrypted_flag)) != 0) {
    note_problem(r, "entry \"%s\" has general-purpose flags 0x%04X, which zivavod does not set",
                 name.data(), flags & ~k_written_flags);
  }
  std::size_t bad_at = 0;
  if ((flags & k_utf8_flag) != 0 &&
      !is_utf8({reinterpret_cast<const std::uint8_t*>(e.name.data()), e.name.size()}, bad_at)) {
    note_problem(r, "entry \"%s\" is marked UTF-8, but its name is not valid UTF-8", name.data());
  }
  if (e.method != k_deflated) {
    note_problem(r, "entry \"%s\" is not deflated (method %u)", name.data(), unsigned{e.method});
  }
  if (get_le(record.subspan(30, 2)) != 0 || get_le(record.subspan(32, 2)) != 0) {
    note_problem(r,
                 "entry \"%s\" carries an extra field or a comment, which zivavod does not write",
                 name.data());
  }
}

// Where the end record says the central directory lies: from its first byte up to the end
// record, holding count records.
struct directory_place {
  std::size_t at;
  std::size_t end;
  std::size_t count;
};

// Reads the central directory at place. Every entry's local header and data must begin where
// the one before it ends, the first at the file's first byte, and the last end where the
// central directory begins.
void read_central_directory(std::span<const std::uint8_t> package, directory_place place,
                            zip_archive& archive, inspection& r) {
  const auto [directory_at, end, count] = place;
  std::size_t at = directory_at;
  std::size_t entries_end = 0;
  bool other_disk = false;
  for (std::size_t i = 0; i < count; ++i) {
    // A record is whole when its fixed part, signature first, and then its name, extra field
    // and comment all lie before the end record.
    const bool fixed_part =
        end - at >= k_central_record_size && get_le(package.subspan(at, 4)) == k_central_signature;
    const std::size_t size =
        fixed_part ? k_central_record_size + get_le(package.subspan(at + 28, 2)) +
                         get_le(package.subspan(at + 30, 2)) + get_le(package.subspan(at + 32, 2))
                   : 0;
    if (!fixed_part || end - at < size) {
      note_problem(r, "the archive's central directory is damaged at entry %lu",
                   static_cast<unsigned long>(i + 1));
      return;
    }
    const auto record = package.subspan(at, size);
    at += size;
    zip_entry e;
    e.name = {reinterpret_cast<const char*>(&record[k_central_record_size]),
              get_le(record.subspan(28, 2))};
    e.method = static_cast<std::uint16_t>(get_le(record.subspan(10, 2)));
    e.crc32 = get_le(record.subspan(16, 4));
    e.size = get_le(record.subspan(24, 4));
    other_disk = other_disk || get_le(record.subspan(34, 2)) != 0;
    check_record(record, e, r);
    const std::size_t offset = get_le(record.subspan(42, 4));
    if (offset != entries_end) {
      note_problem(r, "entry \"%s\" begins at byte %lu, not at byte %lu where %s",
                   printable(e.name).data(), static_cast<unsigned long>(offset),
                   static_cast<unsigned long>(entries_end),
                   i == 0 ? "the file begins" : "the entry before it ends");
    }
    read_local_header(package, record, directory_at, e, r);
    entries_end = e.data.data() == nullptr
                      ? offset
                      : static_cast<std::size_t>(e.data.data() - package.data()) + e.data.size();
    if (archive.count < k_max_entries) {
      archive.entries[archive.count++] = e;
    }
  }
  if (other_disk) {
    note_problem(r, "the central directory places entries on another disk");
  }
  if (entries_end != directory_at) {
    note_problem(r,
                 "the central directory begins at byte %lu, not at byte %lu where the entries end",
                 static_cast<unsigned long>(directory_at), static_cast<unsigned long>(entries_end));
  }
  if (at != end) {
    note_problem(
        r, "the central directory ends at byte %lu, not at byte %lu where the end record begins",
        static_cast<unsigned long>(at), static_cast<unsigned long>(end));
  }
}

}  // namespace

zip_archive read_zip(std::span<const std::uint8_t> package, inspection& r) {
  zip_archive archive;
  const std::optional<std::size_t> end = find_end_record(package);
  if (!end) {
    note_problem(r, "not a zip archive, or cut short: its central directory cannot be found");
    return archive;
  }
  archive.found = true;
  const auto record = package.subspan(*end);
  const std::size_t behind = record.size() - k_end_record_size;
  const std::size_t comment = get_le(record.subspan(20, 2));
  if (comment != 0) {
    note_problem(r, "the archive has a comment of %lu bytes, which zivavod does not write",
                 static_cast<unsigned long>(comment));
  }
  if (behind > comment) {
    note_problem(r, "the file goes on after the end of the archive (bytes: %lu)",
                 static_cast<unsigned long>(behind - comment));
  } else if (behind < comment) {
    note_problem(r, "the file is cut short inside the archive's comment (bytes there: %lu)",
                 static_cast<unsigned long>(behind));
  }
  const std::size_t disk_count = get_le(record.subspan(8, 2));
  const std::size_t count = get_le(record.subspan(10, 2));
  if (get_le(record.subspan(4, 2)) != 0 || get_le(record.subspan(6, 2)) != 0 ||
      disk_count != count) {
    note_problem(r, "the end record places the archive on more than one disk");
  }
  const std::size_t directory_size = get_le(record.subspan(12, 4));
  const std::size_t directory_at = get_le(record.subspan(16, 4));
  if (directory_at > *end || *end - directory_at != directory_size) {
    note_problem(r,
                 "the end record places the central directory at byte %lu, %lu bytes long, not "
                 "right before the end record at byte %lu",
                 static_cast<unsigned long>(directory_at),
                 static_cast<unsigned long>(directory_size), static_cast<unsigned long>(*end));
  }
  if (directory_at > *end) {
    return archive;
  }
  read_central_directory(package, {directory_at, *end, count}, archive, r);
  return archive;
}

std::optional<std::size_t> read_entry_data(const zip_entry& e, std::span<std::uint8_t> out,
                                           inspection& r) {
  const text_line name = printable(e.name);
  if (e.data.data() == nullptr) {
    return std::nullopt;  // its local header is not there: noted already
  }
  std::size_t size = 0;
  if (e.method == k_stored) {
    size = std::min(e.data.size(), out.size());
    std::copy_n(e.data.begin(), size, out.begin());
  } else if (e.method == k_deflated) {
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
      note_problem(r, "entry \"%s\" cannot be inflated: out of memory", name.data());
      return std::nullopt;
    }
    stream.next_in = const_cast<Bytef*>(e.data.data());
    stream.avail_in = static_cast<uInt>(e.data.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    const int status = inflate(&stream, Z_FINISH);
    size = stream.total_out;
    const std::size_t left = stream.avail_in;
    (void)inflateEnd(&stream);
    // A reader that inflates the whole stream fails where it does not end with the data, even
    // when the bytes come out whole.
    if (status == Z_STREAM_END) {
      if (left != 0) {
        note_problem(r,
                     "entry \"%s\" is damaged: its deflate stream ends before its data does (bytes "
                     "left: %lu)",
                     name.data(), static_cast<unsigned long>(left));
      }
    } else if (status == Z_BUF_ERROR && left == 0 && size < out.size()) {
      note_problem(r, "entry \"%s\" is damaged: its deflate stream does not end with its data",
                   name.data());
    } else if (size < out.size()) {
      note_problem(r, "entry \"%s\" is damaged: its data cannot be inflated", name.data());
      return std::nullopt;
    }
  } else {
    note_problem(r, "entry \"%s\" cannot be read (method %u)", name.data(), unsigned{e.method});
    return std::nullopt;
  }
  if (size == out.size()) {
    note_problem(r, "entry \"%s\" is larger than %lu bytes", name.data(),
                 static_cast<unsigned long>(out.size() - 1));
    return std::nullopt;
  }
  if (size != e.size) {
    note_problem(r, "entry \"%s\" is damaged: it holds %lu bytes, not %lu", name.data(),
                 static_cast<unsigned long>(size), static_cast<unsigned long>(e.size));
    return std::nullopt;
  }
  if (crc32(0, out.data(), static_cast<uInt>(size)) != e.crc32) {
    note_problem(r, "entry \"%s\" is damaged: its CRC-32 does not match", name.data());
    return std::nullopt;
  }
  return size;
}
