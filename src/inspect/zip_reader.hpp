#pragma once

// zivavod-inspect's reading of the zip archive itself, as strictly as the strictest reader a
// package meets (Info-ZIP's unzip, Python's zipfile): every record where the one before it ends,
// each local header agreeing with its central-directory record, nothing but what zivavod writes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "inspect/findings.hpp"

// One entry as the central directory states it, its name and data pointing into the package.
struct zip_entry {
  std::string_view name;  // the bytes as the archive holds them, perhaps not printable
  std::uint16_t method = 0;
  std::uint32_t crc32 = 0;
  std::uint32_t size = 0;
  std::span<const std::uint8_t> data;  // the compressed bytes, empty where they cannot be found
};

struct zip_archive {
  bool found = false;  // its end record was found
  std::array<zip_entry, k_max_entries> entries{};
  std::size_t count = 0;  // entries kept; the archive may state more
};

// Reads the archive's end record, central directory and local headers and notes every way in
// which they are not the archive zivavod writes: records not tiling the file from its first byte
// to the end record, a local header that differs from its central-directory record, flags,
// methods, versions, extra fields or comments zivavod does not write. Never reads outside
// package.
zip_archive read_zip(std::span<const std::uint8_t> package, inspection& r);

// Inflates e's data (or copies it when stored) into out and checks it against the central
// directory: the stream ends exactly where the data does, and the size and CRC-32 are the
// stated ones. Notes each fault; returns the size read, or nothing when the data cannot be had
// whole with the stated size and CRC-32, or does not fit out, which has a byte more room than the
// entry may fill.
std::optional<std::size_t> read_entry_data(const zip_entry& e, std::span<std::uint8_t> out,
                                           inspection& r);
