#include "bitstream/vbr_header.h"

#include "bitstream/frame_header.h"
#include "bitstream/mpeg_file_reader.h"

namespace mpegin {

namespace {

constexpr uint32_t kXingFramesFlag = 1;
// VBRI: 4-byte tag, version, delay and quality (2 bytes each), byte count, frame count.
constexpr uint32_t kVbriOffset = 32;
constexpr uint32_t kVbriFramesOffset = 14;

uint32_t big_endian32(const MpegFileReader& reader, uint32_t at) {
  return uint32_t{reader.body_byte(at)} << 24 | uint32_t{reader.body_byte(at + 1)} << 16 |
         uint32_t{reader.body_byte(at + 2)} << 8 | reader.body_byte(at + 3);
}

bool tag_at(const MpegFileReader& reader, uint32_t at, const char* tag) {
  if (at + 4 > reader.frame_bytes) return false;
  for (uint32_t i = 0; i < 4; ++i)
    if (reader.body_byte(at + i) != static_cast<uint8_t>(tag[i])) return false;
  return true;
}

bool xing_header(const MpegFileReader& reader, uint32_t at, uint32_t& frames) {
  if (!tag_at(reader, at, "Xing") && !tag_at(reader, at, "Info")) return false;
  frames = 0;
  if (at + 12 <= reader.frame_bytes && (big_endian32(reader, at + 4) & kXingFramesFlag) != 0)
    frames = big_endian32(reader, at + 8);
  return true;
}

}  // namespace

bool read_vbr_header(const MpegFileReader& reader, const FrameHeader& header, uint32_t& frames) {
  frames = 0;
  if (header.layer != 3) return false;
  // The Xing header follows the side information (and the check word of a protected frame;
  // some encoders place it as if there were none).
  const bool single = header.mode == 3;
  const uint32_t side = header.version == 1 ? (single ? 17 : 32) : (single ? 9 : 17);
  const uint32_t check = header.protection_bit == 0 ? 2 : 0;
  if (xing_header(reader, side + check, frames)) return true;
  if (check != 0 && xing_header(reader, side, frames)) return true;
  if (tag_at(reader, kVbriOffset, "VBRI")) {
    if (kVbriOffset + kVbriFramesOffset + 4 <= reader.frame_bytes)
      frames = big_endian32(reader, kVbriOffset + kVbriFramesOffset);
    return true;
  }
  return false;
}

}  // namespace mpegin
