#pragma once

// zivavod-inspect's check of manifest.json, read with nlohmann-json.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "inspect/findings.hpp"

// The entries the manifest must name: each as the archive holds it, or null where the archive
// has no such entry (the name is then not compared).
struct manifest_names {
  const std::string_view* image = nullptr;
  const std::string_view* packet = nullptr;
};

// Checks text as manifest.json: valid UTF-8, one JSON value (RFC 8259, strictly: no comments,
// trailing commas, byte order mark or member given twice in an object) in the legacy DFU layout
// with zivavod's values, naming the entries in names. Notes each fault; returns the
// firmware_crc16 it states, when that is a CRC-16.
std::optional<std::uint16_t> check_manifest(std::span<const std::uint8_t> text,
                                            manifest_names names, inspection& r);
