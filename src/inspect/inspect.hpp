#pragma once

// zivavod-inspect's reading of a package: the three entries read back from the zip archive and
// checked the way the device and the DFU tools read them. The top of the inspector: it runs the
// parts (zip_reader, manifest_check) and none of them includes it.

#include <cstddef>
#include <cstdint>
#include <span>

#include "inspect/findings.hpp"

// No package zivavod writes comes near this size.
inline constexpr std::size_t k_max_package_size = std::size_t{1} << 20;

// Reads the zip archive whose bytes are package and checks it, noting each problem in result:
// - the archive, as strictly as the strictest zip reader (zip_reader.hpp);
// - the init packet, manifest.json and the app image are there, in this order, deflated, whole;
// - the manifest is JSON in the legacy DFU layout and names the two other entries;
// - the init packet holds zivavod's values;
// - the image's CRC-16, the init packet's and the manifest's agree;
// - the lexicon header agrees with itself and with the image's length.
// The image and the tables point into a buffer of this function's own, valid until its next call
// (or keep_image). Never reads outside package.
void inspect_package(std::span<const std::uint8_t> package, inspection& result);

// Copies r's image into storage (of k_app_buffer_size bytes at least) and points r's image and
// tables there, so that they outlive the next inspect_package.
void keep_image(inspection& r, std::span<std::uint8_t> storage);
