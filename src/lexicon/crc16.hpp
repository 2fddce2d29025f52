#pragma once

#include <cstdint>
#include <span>

// CRC-16/CCITT-FALSE (polynomial 0x1021, start 0xFFFF, no reflection, no final XOR).
std::uint16_t crc16_ccitt(std::span<const std::uint8_t> bytes);
