#pragma once

#include <cstdint>
#include <cstdio>
#include <span>

#include "base/names.hpp"

// Allocates the buffer the manifest is written into, once, before the word lists are read; ends
// the run with message 9 when it cannot.
void allocate_manifest_buffer();

// The packaging phase: writes the package names.zip, a zip of three deflated entries: the init
// packet as names.dat, "manifest.json", and image (whose CRC-16 is firmware_crc16) as names.app.
// Prints each step. Refuses, touching nothing, a zip file name that is one of input_files (the
// files the run read) or a package name that cannot make a package; otherwise announces an old
// package, writes the archive into a file of its own and puts it in the old package's place only
// when complete (package/output_file.hpp). On a failure prints its line, leaves no package and
// returns 1, else returns 0.
int write_dfu_package(const package_names& names, std::span<const std::uint8_t> image,
                      std::uint16_t firmware_crc16, std::span<const char* const> input_files);

// Writes the three entries of the package into file, open and empty, and the archive's end.
// Prints the line of a step that fails and returns false; the file stays open either way.
bool write_zip(std::FILE* file, const package_names& names, std::span<const std::uint8_t> image,
               std::uint16_t firmware_crc16);
