#pragma once

// Entries into a zip archive through minizip, each deflated whole by libdeflate and pushed to the
// file at once, so that a full disk is reported at the entry it hit.

#include <cstddef>
#include <cstdio>
#include <ctime>
#include <memory>
#include <span>

struct libdeflate_compressor;
// minizip's zipFile, an untyped handle: its header stays out of the package's interface.
using zip_handle = void*;
struct compressor_freer {
  void operator()(libdeflate_compressor* compressor) const;
};
using unique_compressor = std::unique_ptr<libdeflate_compressor, compressor_freer>;

// The deflate level of every entry: the most compression.
inline constexpr int k_deflate_level = 9;

// A compressor at that level; null when it cannot be made.
unique_compressor make_compressor();

// What the entries of one archive go through: the archive, the file under it and one compressor.
struct entry_writer {
  zip_handle zip = nullptr;
  std::FILE* file = nullptr;
  libdeflate_compressor* compressor = nullptr;
};

// Starts an archive named name into file, open and empty, through stdio calls of our own (the
// file is made before and closed by its owner). Null when minizip cannot start it.
zip_handle open_archive(std::FILE* file, const char* name);

// One entry's name, bytes and date, and whether it is text (only manifest.json is).
struct entry_content {
  const char* name;
  std::span<const std::byte> data;
  const std::tm& date;
  bool text = false;
};

// Adds one entry and pushes it to the file; false on any failure, a failed allocation included.
bool add_entry(const entry_writer& out, const entry_content& entry);

// True when name starts with a slash or holds a colon or backslash anywhere (which zip readers
// may take as an absolute path, a drive or a folder separator), or is not valid UTF-8 (which
// the manifest, a JSON text, cannot hold). Parts such as ".." are not looked at.
bool is_unsafe_entry_name(const char* name);
