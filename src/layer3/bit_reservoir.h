#pragma once

#include <cstdint>
#include <cstring>

#include "bitstream/bit_reader.h"

namespace mpegin {

// Byte store for Layer III main data. A frame's main data may begin in the main data of earlier
// frames; every frame's bytes are appended here and the scale factors and Huffman data are read
// from the read position, through a BitReader that ends where the granule's data ends.
//
// The read position is one bit count, `position`: bits consumed since construction less all
// renormalisations. The ring index is that position masked to the 4096-byte ring, so any
// position, also one past the stored bytes, reads inside the ring. The ring keeps a copy of its
// first eight bytes behind its end so that a read window of eight bytes never needs a wrap test.
class BitReservoir {
 public:
  static constexpr int32_t kCapacity = 4096;   // bytes
  static constexpr int32_t kIndexMask = kCapacity - 1;

  BitReservoir() { std::memset(ring_, 0, sizeof ring_); }

  // Appends n bytes; 4096 bytes later each is overwritten whether it was read or not.
  void put_bytes(const uint8_t* bytes, uint32_t n) {
    while (n > 0) {
      const uint32_t room = static_cast<uint32_t>(kCapacity - write_index_);
      const uint32_t chunk = n < room ? n : room;
      std::memcpy(ring_ + write_index_, bytes, chunk);
      if (write_index_ < kMirror) {
        const uint32_t end = write_index_ + chunk < uint32_t{kMirror} ? write_index_ + chunk : uint32_t{kMirror};
        std::memcpy(ring_ + kCapacity + write_index_, bytes, end - static_cast<uint32_t>(write_index_));
      }
      write_index_ = (write_index_ + static_cast<int32_t>(chunk)) & kIndexMask;
      bytes += chunk;
      n -= chunk;
    }
  }

  // A frame's main data has just been appended (n bytes): moves the read position to where the
  // frame's main data begins, main_data_begin bytes before them, after passing over the rest of
  // a byte that the last granule started. False when that lies before the first stored byte.
  bool start_frame(uint32_t n, int32_t main_data_begin) {
    const int32_t consumed = (position_ + 7) / 8;  // bytes read or started
    position_ = 8 * consumed;
    const int32_t skip = bytes_stored_ - main_data_begin - consumed;
    bytes_stored_ += static_cast<int32_t>(n);
    if (skip < 0) return false;
    // Both running counts stay bounded; the ring index does not change.
    while (position_ > 8 * kCapacity) {
      bytes_stored_ -= kCapacity;
      position_ -= 8 * kCapacity;
    }
    position_ += 8 * skip;
    return true;
  }

  // Reading from the read position up to `end` (a position).
  BitReader reader(int32_t end) const { return BitReader(ring_, kIndexMask, position_, end); }
  int32_t position() const { return position_; }
  void set_position(int32_t position) { position_ = position; }

  // Main-data bytes stored, less 4096 per renormalisation of the position.
  int32_t bytes_stored() const { return bytes_stored_; }
  int32_t write_index() const { return write_index_; }

 private:
  static constexpr int32_t kMirror = 8;

  int32_t write_index_ = 0;    // next ring entry to fill, 0..4095
  int32_t position_ = 0;       // read position in bits
  int32_t bytes_stored_ = 0;
  uint8_t ring_[kCapacity + kMirror];
};

}  // namespace mpegin
