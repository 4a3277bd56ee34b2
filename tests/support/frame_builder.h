#pragma once

// Whole MPEG audio frames for the decoder context tests: the header, the check word
// of a protected frame (computed from the fields written with put_checked), the body
// and zero padding up to the frame length.

#include "bitstream/test_stream.h"
#include "support/bit_writer.h"

namespace mpegin::test_support {

using bitstream_test::HeaderBits;

class FrameBuilder {
 public:
  explicit FrameBuilder(const HeaderBits& header) : header_(header) {
    body_.feed_only(bitstream_test::header_word(header) & 0xFFFF, 16);
  }

  // The fields after the header (and after the check word).
  BitWriter& body() { return body_; }

  Bytes finish() const {
    Bytes out;
    bitstream_test::append_word(out, bitstream_test::header_word(header_));
    if (header_.protected_frame) {
      out.push_back(static_cast<uint8_t>(body_.crc().value >> 8));
      out.push_back(static_cast<uint8_t>(body_.crc().value));
    }
    bitstream_test::append(out, body_.bytes());
    out.resize(bitstream_test::frame_length(header_), 0);
    return out;
  }

 private:
  HeaderBits header_;
  BitWriter body_;
};

}  // namespace mpegin::test_support
