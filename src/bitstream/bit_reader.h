// Bits of an MPEG audio bit stream, most significant first, from bytes in memory, up to an
// explicit end.
#pragma once

#include <cstdint>

#include "bitstream/big_endian.h"

namespace mpegin {

// Reads bits from a byte store between a start position and an end, both in bits. A read takes
// the eight bytes from the byte that holds the position, its index masked with `index_mask`.
// The store is either a ring (the mask is its size less one, a power of two, and it keeps a copy
// of its first eight bytes behind its end), in which every position reads inside the store, also
// one far past the end; or a plain buffer (a mask not below its size) with eight readable bytes
// behind the last byte a read can start in.
//
// Reading past the end is not stopped bit by bit: the position moves on and the bits read are
// whatever the store holds there. Callers compare the position with the end after a stage of
// reading (or per pass of a loop that the data could make long) and treat a frame that read
// past its end as damaged: overrun().
class BitReader {
 public:
  BitReader(const uint8_t* bytes, uint32_t index_mask, int32_t position, int32_t end)
      : bytes_(bytes), mask_(index_mask), position_(position), end_(end) {}

  // At least 57 valid bits from the position on, the first in the most significant place.
  uint64_t window() const {
    const uint32_t p = static_cast<uint32_t>(position_);
    return load_big_endian64(bytes_ + ((p >> 3) & mask_)) << (p & 7u);
  }

  // The next n bits (n = 0..32) right-aligned; n = 0 reads nothing and gives 0.
  uint32_t get_bits(uint32_t n) {
    const uint32_t bits = n == 0 ? 0u : static_cast<uint32_t>(window() >> (64u - n));
    position_ += static_cast<int32_t>(n);
    return bits;
  }
  // Moves the position by n bits (back for n < 0).
  void skip(int32_t n) { position_ += n; }

  int32_t position() const { return position_; }
  void set_position(int32_t position) { position_ = position; }
  int32_t end() const { return end_; }
  // The reading went past the end.
  bool overrun() const { return position_ > end_; }

  const uint8_t* bytes() const { return bytes_; }

 private:
  const uint8_t* bytes_;
  uint32_t mask_;
  int32_t position_;
  int32_t end_;
};

// A BitReader's bits through a cached window, for loops that take many short codes (Huffman
// symbols, Layer I and II sample codes). kIndexMask is the reader's index mask as a constant, which keeps it out of the
// loop's registers.
#if UINTPTR_MAX == 0xFFFFFFFFu
// 32-bit targets, with few registers: short codes come from a 32-bit window, long ones from a
// 64-bit load at the position. The position is not counted per code but derived from the
// window's start and the bits left in it, so that the loop's state fits the registers.
template <uint32_t kIndexMask>
class CachedBits {
 public:
  using Window = uint32_t;
  explicit CachedBits(const BitReader& reader) : bytes_(reader.bytes()) { load(reader.position()); }
  // At least `needed` (<= 25) valid bits, MSB-aligned.
  Window direct(uint32_t needed) {
    if (valid_ < static_cast<int32_t>(needed)) load(position());
    return window_;
  }
  // At least 57 valid bits, MSB-aligned.
  uint64_t bits(uint32_t) const {
    const uint32_t p = static_cast<uint32_t>(position());
    return load_big_endian64(bytes_ + ((p >> 3) & kIndexMask)) << (p & 7u);
  }
  void consume(uint32_t count) {
    window_ = count < 32 ? window_ << count : 0;
    valid_ -= static_cast<int32_t>(count);
  }
  int32_t position() const { return end_ - valid_; }

 private:
  void load(int32_t position) {
    const uint32_t p = static_cast<uint32_t>(position);
    window_ = load_big_endian32(bytes_ + ((p >> 3) & kIndexMask)) << (p & 7u);
    valid_ = static_cast<int32_t>(32u - (p & 7u));
    end_ = position + valid_;
  }

  const uint8_t* bytes_;
  uint32_t window_ = 0;
  int32_t valid_ = 0;  // below 0 once a long code ran past the window
  int32_t end_ = 0;    // stream position just past the window's last valid bit
};
#else
// A 64-bit window that is reloaded only when fewer bits remain in it than the longest code of
// the moment needs, so that consecutive codes do not wait for a memory load. The position is
// derived from the window's end and the bits left in it: taking a code costs two operations.
template <uint32_t kIndexMask>
class CachedBits {
 public:
  using Window = uint64_t;
  explicit CachedBits(const BitReader& reader) : bytes_(reader.bytes()) { load(reader.position()); }
  // The bits for a direct-table lookup.
  Window direct(uint32_t needed) { return bits(needed); }
  // At least `needed` (<= 57) valid bits, MSB-aligned.
  uint64_t bits(uint32_t needed) {
    if (valid_ < needed) load(position());
    return bits_;
  }
  void consume(uint32_t count) {
    bits_ <<= count;
    valid_ -= count;
  }
  int32_t position() const { return end_ - static_cast<int32_t>(valid_); }

 private:
  void load(int32_t position) {
    const uint32_t p = static_cast<uint32_t>(position);
    bits_ = load_big_endian64(bytes_ + ((p >> 3) & kIndexMask)) << (p & 7u);
    valid_ = 64u - (p & 7u);
    end_ = position + static_cast<int32_t>(valid_);
  }

  const uint8_t* bytes_;
  uint64_t bits_ = 0;
  uint32_t valid_ = 0;
  int32_t end_ = 0;  // stream position just past the window's last valid bit
};
#endif

}  // namespace mpegin
