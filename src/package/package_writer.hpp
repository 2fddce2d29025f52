#pragma once

#include <cstdint>
#include <ctime>
#include <span>

#include "base/names.hpp"
#include "lexicon/app_image.hpp"

// Replaces the package at names.zip with a zip of three deflated entries: the init packet as
// names.dat, "manifest.json" (written into manifest_buffer) and the image as names.app. Prints
// each step. Refuses, touching nothing, a zip file name that is one of input_files (the files the
// run read) or a package name that cannot make a package; otherwise announces and removes an old
// package, writes the archive under a temporary name beside it and renames it to names.zip once
// complete. On a failure prints its line, removes the temporary file and returns 1, else
// returns 0.
int write_dfu_package(const package_names& names, const app_image& image,
                      std::span<char> manifest_buffer, std::span<const char* const> input_files);

// True when name starts with a slash or holds a colon or backslash anywhere (which zip readers
// may take as an absolute path, a drive or a folder separator), or is not valid UTF-8 (which
// the manifest, a JSON text, cannot hold). Parts such as ".." are not looked at.
bool is_unsafe_entry_name(const char* name);

// True when the last part of path, up to its first "." and without trailing blanks, is a device
// name of Windows (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9) in any case.
bool is_device_name(const char* path);

// local, or the nearest date a zip entry can hold (1980-01-01 00:00:00 to 2107-12-31 23:59:58)
// when its year lies outside 1980 to 2107.
std::tm clamp_to_zip_dates(std::tm local);
