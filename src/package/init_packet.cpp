#include "package/init_packet.hpp"

#include "base/bytes.hpp"

void build_init_packet(init_packet& packet, std::uint16_t firmware_crc16) {
  std::size_t at = 0;
  const auto put = [&packet, &at](std::uint32_t value, std::size_t size) {
    put_le(std::span(packet).subspan(at, size), value);
    at += size;
  };
  put(k_device_type, 2);
  put(k_device_revision, 2);
  put(k_application_version, 4);
  put(1, 2);  // softdevice_req_count
  put(k_softdevice_any, 2);
  put(firmware_crc16, 2);
}
