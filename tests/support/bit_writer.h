#pragma once

// Bit strings for the Layer I/II tests: fields written most significant bit first,
// loaded into a reader as a frame body, and CRC-covered fields collected on the side.

#include <cstdint>
#include <memory>
#include <vector>

#include "bitstream/crc16.h"
#include "bitstream/mpeg_file_reader.h"
#include "bitstream/test_stream.h"

namespace mpegin::test_support {

using bitstream_test::Bytes;

class BitWriter {
 public:
  // Appends the low `bits` (0..32) bits of value, most significant first.
  BitWriter& put(uint32_t value, uint32_t bits) {
    for (uint32_t i = bits; i-- > 0;) {
      if (bit_count_ % 8 == 0) bytes_.push_back(0);
      if ((value >> i) & 1) bytes_.back() |= static_cast<uint8_t>(0x80 >> (bit_count_ % 8));
      ++bit_count_;
    }
    return *this;
  }
  BitWriter& zeros(uint32_t bits) {
    for (; bits > 32; bits -= 32) put(0, 32);
    return put(0, bits);
  }
  // As put, and feeds the field to the frame's check word.
  BitWriter& put_checked(uint32_t value, uint32_t bits) {
    crc_.feed(value, bits);
    return put(value, bits);
  }
  // Feeds a field to the check word without writing it (the header bits it covers).
  BitWriter& feed_only(uint32_t value, uint32_t bits) {
    crc_.feed(value, bits);
    return *this;
  }
  // Pads with zero bits up to `bytes` bytes.
  void pad_to(size_t bytes) {
    while (bytes_.size() < bytes) bytes_.push_back(0);
    bit_count_ = bytes_.size() * 8;
  }

  const Bytes& bytes() const { return bytes_; }
  uint32_t bit_count() const { return static_cast<uint32_t>(bit_count_); }
  // The fields given to put_checked, fed in order into an accumulator at 0xFFFF.
  const Crc16& crc() const { return crc_; }

 private:
  Bytes bytes_;
  size_t bit_count_ = 0;
  Crc16 crc_;
};

// A reader whose current frame body is the given bytes.
class BodyReader {
 public:
  explicit BodyReader(const Bytes& body)
      : file_(body), reader_(std::make_unique<MpegFileReader>(file_.path())) {
    reader_->read_frame(static_cast<uint32_t>(body.size()));
  }
  explicit BodyReader(const BitWriter& bits) : BodyReader(bits.bytes()) {}

  MpegFileReader& reader() { return *reader_; }
  // Bits taken from the body so far.
  uint32_t bits_read() const { return reader_->bits_read(); }

 private:
  bitstream_test::TempFile file_;
  std::unique_ptr<MpegFileReader> reader_;
};

}  // namespace mpegin::test_support
