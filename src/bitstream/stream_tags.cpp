#include "bitstream/stream_tags.h"

#include <cstring>

namespace mpegin {

namespace {

constexpr size_t kId3v2HeaderBytes = 10;
constexpr size_t kApeFooterBytes = 32;
constexpr size_t kId3v1Bytes = 128;

// The 28-bit syncsafe size of bytes 6..9 of an ID3v2 header or footer; false when a byte
// has its top bit set.
bool syncsafe_size(const uint8_t* b, uint64_t& size) {
  if ((b[6] | b[7] | b[8] | b[9]) & 0x80) return false;
  size = uint64_t{b[6]} << 21 | uint64_t{b[7]} << 14 | uint64_t{b[8]} << 7 | b[9];
  return true;
}

// Versions 2.2 to 2.4 (the major version byte), revision not 0xFF.
bool id3v2_version(const uint8_t* b) { return b[3] >= 2 && b[3] <= 4 && b[4] != 0xFF; }

uint32_t little_endian32(const uint8_t* b) {
  return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
}

}  // namespace

uint64_t id3v2_tag_length(const uint8_t* b, size_t count) {
  if (count < kId3v2HeaderBytes || std::memcmp(b, "ID3", 3) != 0 || !id3v2_version(b)) return 0;
  uint64_t size = 0;
  if (!syncsafe_size(b, size)) return 0;
  const bool footer = b[3] == 4 && (b[5] & 0x10) != 0;
  return kId3v2HeaderBytes + size + (footer ? kId3v2HeaderBytes : 0);
}

uint64_t trailing_tag_length(const uint8_t* tail, size_t count, uint64_t before) {
  if (count >= kId3v1Bytes && std::memcmp(tail + count - kId3v1Bytes, "TAG", 3) == 0) return kId3v1Bytes;
  if (count >= kApeFooterBytes) {
    const uint8_t* footer = tail + count - kApeFooterBytes;
    if (std::memcmp(footer, "APETAGEX", 8) == 0) {
      // Size counts the items and the footer; bit 31 of the flags says a header precedes them.
      const uint64_t size = little_endian32(footer + 12);
      const bool has_header = (little_endian32(footer + 20) & 0x80000000u) != 0;
      const uint64_t length = size + (has_header ? kApeFooterBytes : 0);
      if (size >= kApeFooterBytes && length <= before) return length;
    }
  }
  if (count >= kId3v2HeaderBytes) {
    const uint8_t* footer = tail + count - kId3v2HeaderBytes;
    uint64_t size = 0;
    if (std::memcmp(footer, "3DI", 3) == 0 && footer[3] == 4 && syncsafe_size(footer, size)) {
      const uint64_t length = size + 2 * kId3v2HeaderBytes;
      if (length <= before) return length;
    }
  }
  return 0;
}

}  // namespace mpegin
