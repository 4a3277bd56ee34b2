#include "bitstream/crc16.h"

namespace mpegin {

void Crc16::feed(uint32_t data, uint32_t n) {
  uint32_t crc = value;
  while (n-- > 0) {
    const uint32_t top = (crc >> 15) & 1;
    const uint32_t bit = (data >> n) & 1;
    crc = (crc << 1) & 0xFFFF;
    if (top != bit) crc ^= 0x8005;
  }
  value = crc;
}

}  // namespace mpegin
