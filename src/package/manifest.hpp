#pragma once

#include <cstddef>
#include <span>

#include "base/names.hpp"

// Longest JSON escape of one byte (\u00xx).
inline constexpr std::size_t k_max_escape_length = 6;
// The fixed text of the manifest around its two names and the CRC.
inline constexpr std::size_t k_manifest_fixed_length = 458;
// Room for the longest manifest, both names escaped byte by byte, a five-digit CRC and a zero.
inline constexpr std::size_t k_manifest_buffer_size =
    k_manifest_fixed_length + 2 * k_max_escape_length * (k_name_size - 1) + 5 + 1;

// Writes the 18-line manifest (CR LF after each line but the last) naming bin_file and dat_file,
// escaped as JSON strings, into buffer; returns its length without the closing zero, or -1 when
// it does not fit buffer.
int write_manifest(std::span<char> buffer, const char* bin_file, const char* dat_file,
                   int firmware_crc16);
