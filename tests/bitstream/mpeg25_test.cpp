#include <gtest/gtest.h>

#include "bitstream/frame_header.h"
#include "bitstream/mpeg_file_reader.h"
#include "bitstream/test_stream.h"

namespace mpegin {
namespace {

using namespace bitstream_test;

constexpr uint32_t kVersionHigh = 0x100000;  // header bit 20: clear for MPEG-2.5

// A stream of `count` frames with version bits 00 (MPEG-2.5) built from an LSF header.
Bytes mpeg25_stream(HeaderBits h, uint32_t count, uint32_t frame_bytes) {
  h.version = 0;
  Bytes out;
  for (uint32_t i = 0; i < count; ++i) {
    append_word(out, header_word(h) & ~kVersionHigh);
    out.resize(out.size() + frame_bytes - 4, 0x00);
  }
  return out;
}

TEST(Mpeg25, LayerThreeFramesAtHalfTheLsfRates) {
  struct Case {
    uint32_t frequency_index;
    int32_t rate;
    uint32_t bitrate_index;
    uint32_t padding;
    uint32_t frame_bytes;  // 72 x bit rate / rate, plus the padding byte
  } cases[] = {
      {0, 11025, 1, 0, 52},  {0, 11025, 8, 1, 418}, {1, 12000, 4, 0, 192},
      {1, 12000, 14, 0, 960}, {2, 8000, 1, 0, 72},   {2, 8000, 14, 1, 1441},
  };
  for (const Case& c : cases) {
    HeaderBits h;
    h.layer = 3;
    h.bitrate_index = c.bitrate_index;
    h.sample_frequency = c.frequency_index;
    h.padding = c.padding;
    h.mode = 3;
    TempFile file(mpeg25_stream(h, 3, c.frame_bytes));
    MpegFileReader reader(file.path());
    FrameHeader header;
    Crc16* crc = nullptr;
    for (int frame = 0; frame < 3; ++frame) ASSERT_TRUE(header.read_header(reader, crc)) << c.rate;
    EXPECT_FALSE(header.read_header(reader, crc));
    EXPECT_TRUE(header.mpeg25);
    EXPECT_EQ(header.version, 0u);
    EXPECT_EQ(header.sample_rate(), c.rate);
    EXPECT_EQ(header.frame_bytes + 4, c.frame_bytes) << c.rate;
    EXPECT_EQ(header.samples_per_frame(), 576u);
    EXPECT_FLOAT_EQ(header.ms_per_frame(), 576000.0f / static_cast<float>(c.rate));
    EXPECT_STREQ(header.version_string(), "MPEG-2.5");
  }
}

TEST(Mpeg25, OnlyLayerThreeAndNoReservedVersionStartAStream) {
  struct Case {
    const char* what;
    uint32_t layer;
    uint32_t version_bits;  // header bits 20..19
    uint32_t frame_bytes;   // the length the frame would have if taken
  } cases[] = {{"MPEG-2.5 Layer I", 1, 0, 276}, {"MPEG-2.5 Layer II", 2, 0, 417},
               {"reserved version", 3, 1, 182}};
  for (const Case& c : cases) {
    HeaderBits h;
    h.layer = c.layer;
    h.bitrate_index = 4;
    h.version = 0;
    const uint32_t word = (header_word(h) & ~(3u << 19)) | c.version_bits << 19;
    Bytes contents;
    for (int frame = 0; frame < 4; ++frame) {
      append_word(contents, word);
      contents.resize(contents.size() + c.frame_bytes - 4, 0x00);
    }
    TempFile file(contents);
    MpegFileReader reader(file.path());
    FrameHeader header;
    Crc16* crc = nullptr;
    EXPECT_FALSE(header.read_header(reader, crc)) << c.what;
  }
}

}  // namespace
}  // namespace mpegin
