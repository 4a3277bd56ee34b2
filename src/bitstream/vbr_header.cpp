#include "bitstream/vbr_header.h"

#include "bitstream/big_endian.h"
#include "bitstream/frame_header.h"
#include "bitstream/mpeg_file_reader.h"

namespace mpegin {

namespace {

constexpr uint32_t kXingFramesFlag = 1;
// VBRI: 4-byte tag, version, delay and quality (2 bytes each), byte count, frame count.
constexpr uint32_t kVbriOffset = 32;
constexpr uint32_t kVbriFramesOffset = 14;

uint32_t big_endian32(const MpegFileReader& reader, uint32_t at) {
  const uint8_t bytes[4] = {reader.body_byte(at), reader.body_byte(at + 1), reader.body_byte(at + 2),
                            reader.body_byte(at + 3)};
  return load_big_endian32(bytes);
}

bool tag_at(const MpegFileReader& reader, uint32_t at, const char* tag) {
  if (at + 4 > reader.frame_bytes) return false;
  for (uint32_t i = 0; i < 4; ++i)
    if (reader.body_byte(at + i) != static_cast<uint8_t>(tag[i])) return false;
  return true;
}

// Xing fields after the tag and the flags, by flag: frames, bytes, table of contents, quality.
constexpr uint32_t kXingFieldBytes[4] = {4, 4, 100, 4};
// The encoder extension: name (9 bytes), revision, low-pass, peak (4), track gain (2), album
// gain (2), flags, bit rate, delay and padding (12 bits each), ...
constexpr uint32_t kNameBytes = 9;
constexpr uint32_t kPeakOffset = 11;
constexpr uint32_t kTrackGainOffset = 15;
constexpr uint32_t kAlbumGainOffset = 17;
constexpr uint32_t kDelayOffset = 21;
constexpr uint32_t kExtensionBytes = 24;  // as far as the delay and padding reach

uint32_t big_endian16(const MpegFileReader& reader, uint32_t at) {
  return uint32_t{reader.body_byte(at)} << 8 | reader.body_byte(at + 1);
}

// A ReplayGain field: name code (3 bits, 0 unset), originator (3), sign, 9 bits of 0.1 dB.
bool replay_gain(uint32_t field, float& db) {
  if ((field >> 13) == 0) return false;
  const auto tenths = static_cast<float>(field & 0x1FF);
  db = (field & 0x200) != 0 ? -tenths / 10.0f : tenths / 10.0f;
  return true;
}

// The extension at `at`, taken only when its name is printable text: an old Xing header has
// zeros or table data there.
void read_extension(const MpegFileReader& reader, uint32_t at, EncoderTag& tag) {
  if (at + kExtensionBytes > reader.frame_bytes) return;
  uint32_t length = 0;
  for (; length < kNameBytes; ++length) {
    const uint8_t c = reader.body_byte(at + length);
    if (c == 0) break;
    if (c < 0x20 || c > 0x7E) return;
    tag.encoder[length] = static_cast<char>(c);
  }
  if (length < 4) {
    tag.encoder[0] = '\0';
    return;
  }
  tag.encoder[length] = '\0';
  tag.present = true;
  tag.peak = static_cast<float>(big_endian32(reader, at + kPeakOffset)) / 8388608.0f;  // 9.23 fixed point
  tag.has_track_gain = replay_gain(big_endian16(reader, at + kTrackGainOffset), tag.track_gain_db);
  tag.has_album_gain = replay_gain(big_endian16(reader, at + kAlbumGainOffset), tag.album_gain_db);
  const uint32_t lengths = uint32_t{reader.body_byte(at + kDelayOffset)} << 16 |
                           big_endian16(reader, at + kDelayOffset + 1);
  tag.delay = lengths >> 12;
  tag.padding = lengths & 0xFFF;
}

bool xing_header(const MpegFileReader& reader, uint32_t at, uint32_t& frames, EncoderTag* tag) {
  if (!tag_at(reader, at, "Xing") && !tag_at(reader, at, "Info")) return false;
  frames = 0;
  if (at + 12 <= reader.frame_bytes && (big_endian32(reader, at + 4) & kXingFramesFlag) != 0)
    frames = big_endian32(reader, at + 8);
  if (tag != nullptr && at + 8 <= reader.frame_bytes) {
    const uint32_t flags = big_endian32(reader, at + 4);
    uint32_t extension = at + 8;
    for (uint32_t field = 0; field < 4; ++field)
      if ((flags >> field & 1) != 0) extension += kXingFieldBytes[field];
    read_extension(reader, extension, *tag);
  }
  return true;
}

}  // namespace

bool read_vbr_header(const MpegFileReader& reader, const FrameHeader& header, uint32_t& frames,
                     EncoderTag* tag) {
  frames = 0;
  if (tag != nullptr) *tag = EncoderTag{};
  if (header.layer != 3) return false;
  // The Xing header follows the side information (and the check word of a protected frame;
  // some encoders place it as if there were none).
  const uint32_t side = header.side_info_bytes();
  const uint32_t check = header.protection_bit == 0 ? 2 : 0;
  if (xing_header(reader, side + check, frames, tag)) return true;
  if (check != 0 && xing_header(reader, side, frames, tag)) return true;
  if (tag_at(reader, kVbriOffset, "VBRI")) {
    if (kVbriOffset + kVbriFramesOffset + 4 <= reader.frame_bytes)
      frames = big_endian32(reader, kVbriOffset + kVbriFramesOffset);
    return true;
  }
  return false;
}

}  // namespace mpegin
