#include "bitstream/stream_tags.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace mpegin {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes id3v2(uint8_t major, uint8_t flags, const uint8_t size[4]) {
  return {'I', 'D', '3', major, 0, flags, size[0], size[1], size[2], size[3]};
}

TEST(Id3v2Length, DeclaredSyncsafeSizeFooterAndRefusals) {
  const uint8_t size[4] = {0x01, 0x02, 0x03, 0x04};  // 2^21 + 2 * 2^14 + 3 * 2^7 + 4
  const uint64_t declared = (1u << 21) + (2u << 14) + (3u << 7) + 4;
  // Versions 2.2 to 2.4; extended header (0x40) and unsynchronisation (0x80) do not change
  // the declared size; the footer flag (0x10) adds 10 bytes in version 2.4 only.
  for (uint8_t major : {2, 3, 4})
    for (uint8_t flags : {0x00, 0x40, 0x80, 0xC0}) {
      const Bytes tag = id3v2(major, flags, size);
      EXPECT_EQ(id3v2_tag_length(tag.data(), tag.size()), 10 + declared) << int(major) << " " << int(flags);
    }
  Bytes footer = id3v2(4, 0x10, size);
  EXPECT_EQ(id3v2_tag_length(footer.data(), footer.size()), 20 + declared);
  footer = id3v2(3, 0x10, size);
  EXPECT_EQ(id3v2_tag_length(footer.data(), footer.size()), 10 + declared);

  // Not tags: too short, another version, a size byte with its top bit, another name.
  const Bytes good = id3v2(3, 0, size);
  EXPECT_EQ(id3v2_tag_length(good.data(), 9), 0u);
  for (uint8_t major : {1, 5, 0xFF}) {
    const Bytes other = id3v2(major, 0, size);
    EXPECT_EQ(id3v2_tag_length(other.data(), other.size()), 0u) << int(major);
  }
  const uint8_t plain_size[4] = {0, 0, 0x01, 0x80};
  const Bytes not_syncsafe = id3v2(4, 0, plain_size);
  EXPECT_EQ(id3v2_tag_length(not_syncsafe.data(), not_syncsafe.size()), 0u);
  Bytes revision = good;
  revision[4] = 0xFF;
  EXPECT_EQ(id3v2_tag_length(revision.data(), revision.size()), 0u);
  Bytes name = good;
  name[2] = '2';
  EXPECT_EQ(id3v2_tag_length(name.data(), name.size()), 0u);
}

// An APE tag footer (or header) block of 32 bytes.
Bytes ape_block(uint32_t size, bool has_header) {
  Bytes b = {'A', 'P', 'E', 'T', 'A', 'G', 'E', 'X', 0xD0, 0x07, 0, 0,
             uint8_t(size), uint8_t(size >> 8), uint8_t(size >> 16), uint8_t(size >> 24),
             0, 0, 0, 0, 0, 0, 0, uint8_t(has_header ? 0x80 : 0)};
  b.resize(32, 0);
  return b;
}

uint64_t trailing(const Bytes& tail, uint64_t before) {
  const size_t count = tail.size() < kTailBytes ? tail.size() : kTailBytes;
  return trailing_tag_length(tail.data() + tail.size() - count, count, before);
}

TEST(TrailingTagLength, Id3v1ApeAndAppendedId3v2) {
  Bytes id3v1(128, 0);
  std::memcpy(id3v1.data(), "TAG", 3);
  EXPECT_EQ(trailing(id3v1, 1000), 128u);
  EXPECT_EQ(trailing(Bytes(id3v1.begin(), id3v1.end() - 1), 1000), 0u);  // "TAG" not 128 back

  EXPECT_EQ(trailing(ape_block(500, false), 1000), 500u);
  EXPECT_EQ(trailing(ape_block(500, true), 1000), 532u);
  EXPECT_EQ(trailing(ape_block(500, true), 531), 0u);  // more than the file holds
  EXPECT_EQ(trailing(ape_block(10, false), 1000), 0u);  // smaller than its own footer

  Bytes appended = {'3', 'D', 'I', 4, 0, 0x10, 0, 0, 0x02, 0x00};  // 256 bytes
  EXPECT_EQ(trailing(appended, 1000), 276u);
  EXPECT_EQ(trailing(appended, 275), 0u);

  Bytes audio(128, 0x55);
  EXPECT_EQ(trailing(audio, 1000), 0u);
}

}  // namespace
}  // namespace mpegin
