#pragma once

#include <cstdint>
#include <cstring>

#include "bitstream/big_endian.h"

namespace mpegin {

// Byte store for Layer III main data. A frame's main data may begin in the main
// data of earlier frames; every frame's bytes are appended here and the scale
// factor and Huffman readers take their bits from the read position.
//
// The read position is held as one bit count, `bits_read`: bits consumed since
// construction less all rewinds. It moves forward with get_bits/get_bit and back
// with the rewinds; the ring index is that position masked to the 4096-byte ring,
// so any position, also one past the stored bytes, reads inside the ring.
// The ring keeps a copy of its first eight bytes behind its end so that a read
// window of eight bytes never needs a wrap test.
class BitReservoir {
 public:
  static constexpr int32_t kCapacity = 4096;   // bytes
  static constexpr int32_t kIndexMask = kCapacity - 1;

  BitReservoir() { std::memset(ring, 0, sizeof ring); }

  // Appends n bytes; 4096 bytes later each is overwritten whether it was read or not.
  void put_bytes(const uint8_t* bytes, uint32_t n) {
    while (n > 0) {
      const uint32_t room = static_cast<uint32_t>(kCapacity - write_index);
      const uint32_t chunk = n < room ? n : room;
      std::memcpy(ring + write_index, bytes, chunk);
      if (write_index < kMirror) {
        const uint32_t end = write_index + chunk < uint32_t{kMirror} ? write_index + chunk : uint32_t{kMirror};
        std::memcpy(ring + kCapacity + write_index, bytes, end - static_cast<uint32_t>(write_index));
      }
      write_index = (write_index + static_cast<int32_t>(chunk)) & kIndexMask;
      bytes += chunk;
      n -= chunk;
    }
  }

  // Next n bits, first bit in the most significant place. n = 0 returns 0 and reads
  // nothing; n above 32 consumes n bits and returns 0 (used to skip data).
  uint32_t get_bits(uint32_t n) {
    uint32_t result = 0;
    if (n - 1u < 32u) result = static_cast<uint32_t>(window(bits_read) >> (64u - n));
    bits_read += static_cast<int32_t>(n);
    return result;
  }

  void rewind_bytes(int32_t n) { bits_read -= 8 * n; }

  // At least 57 valid bits starting at bit position `position`, MSB-aligned.
  uint64_t window(int32_t position) const {
    return load_big_endian64(ring + byte_of(position)) << (static_cast<uint32_t>(position) & 7u);
  }

  static int32_t byte_of(int32_t position) {
    return static_cast<int32_t>((static_cast<uint32_t>(position) >> 3) & kIndexMask);
  }

  int32_t write_index = 0;   // next ring entry to fill, 0..4095
  int32_t bits_read = 0;     // read position in bits

 private:
  static constexpr int32_t kMirror = 8;


 public:
  uint8_t ring[kCapacity + kMirror];
};

}  // namespace mpegin
