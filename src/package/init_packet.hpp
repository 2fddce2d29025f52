#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

inline constexpr std::size_t k_init_packet_size = 14;
using init_packet = std::array<std::uint8_t, k_init_packet_size>;

// Fills all 14 bytes: device type and revision, application version, one required SoftDevice
// (any), and the image's CRC-16, each little-endian.
void build_init_packet(init_packet& packet, std::uint16_t firmware_crc16);
