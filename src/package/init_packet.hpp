#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

inline constexpr std::size_t k_init_packet_size = 14;
using init_packet = std::array<std::uint8_t, k_init_packet_size>;

// The values this tool gives the init packet's fields, which the manifest repeats: any device,
// any revision, any application version, and one required SoftDevice, any.
inline constexpr std::uint16_t k_device_type = 0xFFFF;
inline constexpr std::uint16_t k_device_revision = 0xFFFF;
inline constexpr std::uint32_t k_application_version = 0xFFFFFFFF;
inline constexpr std::uint16_t k_softdevice_any = 0xFFFE;
// The image's CRC-16 closes the packet.
inline constexpr std::size_t k_init_packet_crc_at = k_init_packet_size - 2;

// Fills all 14 bytes: device type and revision, application version, one required SoftDevice
// (any), and the image's CRC-16, each little-endian.
void build_init_packet(init_packet& packet, std::uint16_t firmware_crc16);
