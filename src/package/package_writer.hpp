#pragma once

#include <cstdint>
#include <span>

#include "base/names.hpp"
#include "lexicon/app_image.hpp"

// Replaces the package at names.zip with a zip of three deflated entries: the init packet as
// names.dat, "manifest.json" (written into manifest_buffer) and the image as names.app. Prints
// each step; on a failure prints its line, removes the incomplete archive and returns 1, else
// returns 0.
int write_dfu_package(const package_names& names, const app_image& image,
                      std::span<char> manifest_buffer);

// True when a zip reader could take name as a path outside the archive's folder: a leading
// slash, or a colon or backslash anywhere.
bool is_unsafe_entry_name(const char* name);
