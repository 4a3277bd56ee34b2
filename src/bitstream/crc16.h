#pragma once

#include <cstdint>

namespace mpegin {

// CRC-16 of ISO/IEC 11172-3 (generator x^16 + x^15 + x^2 + 1), register and data most
// significant bit first, no reflection and no final inversion.
class Crc16 {
 public:
  uint32_t value = 0xFFFF;

  // Feeds bits n-1 .. 0 of `data`, most significant first (n = 0..16; 0 feeds nothing).
  void feed(uint32_t data, uint32_t n);
};

}  // namespace mpegin
