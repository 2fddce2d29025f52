#pragma once

#include <array>
#include <cstdio>
#include <span>
#include <string_view>

#include "base/names.hpp"
#include "base/platform.hpp"

// Keeps the user's files safe while a package is written: the package's name never leads to an
// input, never holds half a package, and an old package stays until the new one takes its place.

// The short name of the file while it is written, "zivavod-" and six characters, in the
// package's folder: never the package's name plus a suffix, which may not fit the name limit.
inline constexpr std::string_view k_temp_prefix = "zivavod-";
inline constexpr std::string_view k_temp_extension = ".tmp";
inline constexpr std::size_t k_temp_name_size =
    k_name_size + k_temp_prefix.size() + 6 + k_temp_extension.size();
using temp_name = std::array<char, k_temp_name_size>;

// A package on its way: the file being written, and what stood at its name before.
struct output_file {
  const char* path = nullptr;  // the package's name
  unique_file stream;          // null when no file could be made
  temp_name temp{};            // the file's name while it is written; empty while it has none
  entry_stamp old_package{};   // what stood at path, announced by message 30
};

enum class output_refusal { none, input_file, device_name };

// Why no package may be written at path: it is one of input_files (the files the run read, by
// whatever path, spelling or case), or a device name on a system that opens devices by any path.
// Prints nothing.
output_refusal output_path_refusal(const char* path, std::span<const char* const> input_files);

// Announces an old package at path (message 30), which stays until the phase ends, and makes the
// file to write the package into: unnamed where the folder allows, else under a short temporary
// name beside it. The stream is null when no file could be made.
output_file open_output_file(const char* path);

// Forces the written file to the disk and puts it in the place of the old package in one step.
// False when that failed (nothing is removed then: see discard_output_file).
bool keep_output_file(output_file& out);

// Ends a phase that failed: closes and removes the file being written and removes the old
// package, so a reported failure leaves no package at all; but only the old package announced,
// never a package that another run has put in its place since.
void discard_output_file(output_file& out);

// True when the last part of path, up to its first "." and without trailing blanks, is a device
// name of Windows (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9) in any case.
bool is_device_name(const char* path);
