#include "package/init_packet.hpp"

void build_init_packet(init_packet& packet, std::uint16_t firmware_crc16) {
  // clang-format off
  packet = {0xFF, 0xFF,              // device_type 0xFFFF
            0xFF, 0xFF,              // device_revision 0xFFFF
            0xFF, 0xFF, 0xFF, 0xFF,  // application_version 0xFFFFFFFF
            0x01, 0x00,              // softdevice_req_count 1
            0xFE, 0xFF,              // softdevice_req[0] 0xFFFE: any SoftDevice
            static_cast<std::uint8_t>(firmware_crc16 & 0xFF),
            static_cast<std::uint8_t>(firmware_crc16 >> 8)};
  // clang-format on
}
