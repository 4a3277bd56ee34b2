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

  // The frame, zero padded to `length` bytes, or to the length of its bit rate when 0
  // (a free-format frame needs its length given).
  Bytes finish(size_t length = 0) const {
    Bytes out;
    bitstream_test::append_word(out, bitstream_test::header_word(header_));
    if (header_.protected_frame) {
      out.push_back(static_cast<uint8_t>(body_.crc().value >> 8));
      out.push_back(static_cast<uint8_t>(body_.crc().value));
    }
    bitstream_test::append(out, body_.bytes());
    out.resize(length != 0 ? length : bitstream_test::frame_length(header_), 0);
    return out;
  }

 private:
  HeaderBits header_;
  BitWriter body_;
};

// A stereo MPEG-1 Layer II frame of at least 96 kbit/s per channel (27 subbands at 48 kHz,
// else 30): subband 1 carries three-level samples, grouped code `code` (0..26) in channel 0
// and 0 in channel 1, at scale factors 1.0 and 0.5; the other subbands are uncoded.
// `length` 0 gives the frame length of the header's bit rate.
inline Bytes layer2_tone_frame(const HeaderBits& h, uint32_t code, size_t length = 0) {
  FrameBuilder frame(h);
  BitWriter& body = frame.body();
  const int subbands = h.sample_frequency == 1 ? 27 : 30;
  for (int sb = 0; sb < subbands; ++sb) {
    const uint32_t width = sb < 11 ? 4 : (sb < 23 ? 3 : 2);
    const uint32_t allocation = sb == 1 ? 1 : 0;
    body.put_checked(allocation, width).put_checked(allocation, width);
  }
  body.put_checked(2, 2).put_checked(2, 2);  // one scale factor per channel
  body.put(3, 6).put(6, 6);
  for (int group = 0; group < 12; ++group) body.put(code % 27, 5).put(0, 5);
  return frame.finish(length);
}

// Where encoders put the frame count of a variable-rate Layer III file.
enum class InfoTag { kXing, kInfo, kVbri };

// A Layer III frame that carries no audio (all side information zero) but an encoder's
// information header naming `frames` audio frames: "Xing" or "Info" after the side
// information (and the check word), or "VBRI" 32 bytes into the body. `tag_offset`, when
// not 0, places the tag at that offset of the body instead.
inline Bytes info_frame(const HeaderBits& h, InfoTag tag, uint32_t frames, uint32_t tag_offset = 0) {
  Bytes out = FrameBuilder(h).finish();
  const bool single = h.mode == 3;
  const uint32_t side = h.version == 1 ? (single ? 17 : 32) : (single ? 9 : 17);
  uint32_t at = 4 + (tag_offset != 0 ? tag_offset : side + (h.protected_frame ? 2 : 0));
  auto put32 = [&](uint32_t where, uint32_t value) {
    for (int i = 0; i < 4; ++i) out[where + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
  };
  if (tag == InfoTag::kVbri) {
    if (tag_offset == 0) at = 4 + 32;
    const char name[] = "VBRI";
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(name[i]);
    out[at + 5] = 1;                   // version
    put32(at + 10, static_cast<uint32_t>(out.size()) * frames);  // bytes
    put32(at + 14, frames);
    return out;
  }
  const char* name = tag == InfoTag::kXing ? "Xing" : "Info";
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(name[i]);
  put32(at + 4, 0x0000000F);  // frames, bytes, table of contents, quality
  put32(at + 8, frames);
  return out;
}

// An ID3v2 tag of the given major version and flags holding `data` (the declared size is
// the data's size; with the footer flag of version 4 a footer follows).
inline Bytes id3v2_tag(uint8_t major, uint8_t flags, const Bytes& data) {
  const uint32_t size = static_cast<uint32_t>(data.size());
  const Bytes size_bytes = {uint8_t(size >> 21 & 0x7F), uint8_t(size >> 14 & 0x7F),
                            uint8_t(size >> 7 & 0x7F), uint8_t(size & 0x7F)};
  Bytes out = {'I', 'D', '3', major, 0, flags};
  bitstream_test::append(out, size_bytes);
  bitstream_test::append(out, data);
  if (major == 4 && (flags & 0x10) != 0) {
    bitstream_test::append(out, {'3', 'D', 'I', major, 0, flags});
    bitstream_test::append(out, size_bytes);
  }
  return out;
}

}  // namespace mpegin::test_support
