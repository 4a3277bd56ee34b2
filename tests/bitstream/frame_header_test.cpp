#include "bitstream/frame_header.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "bitstream/mpeg_file_reader.h"
#include "bitstream/test_stream.h"

namespace mpegin {
namespace {

using namespace bitstream_test;

// A FrameHeader with the fields a header word would set, for the length and band rules.
struct Fields {
  uint32_t version = 1, layer = 2, bitrate_index = 9, sample_frequency = 0, padding = 0,
           mode = 0, mode_extension = 0, protection_bit = 1;
};

// Parses `h` through a one-frame file, so the rules are checked as read_header applies them.
struct Parsed {
  explicit Parsed(const HeaderBits& h) : file(make_frame(h)), reader(file.path()) {
    ok = header.read_header(reader, crc);
  }
  TempFile file;
  MpegFileReader reader;
  FrameHeader header;
  Crc16* crc = nullptr;
  bool ok = false;
};

HeaderBits bits(uint32_t version, uint32_t layer, uint32_t bitrate_index, uint32_t sample_frequency,
                uint32_t mode = 0, uint32_t padding = 0) {
  HeaderBits h;
  h.version = version;
  h.layer = layer;
  h.bitrate_index = bitrate_index;
  h.sample_frequency = sample_frequency;
  h.mode = mode;
  h.padding = padding;
  return h;
}

TEST(FrameLength, KnownFramesOfEachLayer) {
  struct Case {
    HeaderBits h;
    uint32_t frame_bytes, main_data_bytes;
  } cases[] = {
      {bits(1, 3, 9, 0), 413, 381},          // MPEG-1 Layer III 128 kbit/s 44100 Hz, stereo
      {bits(1, 3, 9, 0, 3), 413, 396},       // the same, single channel
      {bits(1, 2, 14, 2, 0, 1), 1725, 0},    // MPEG-1 Layer II 384 kbit/s 32000 Hz, padded
      {bits(1, 1, 14, 2, 0, 1), 672, 0},     // MPEG-1 Layer I 448 kbit/s 32000 Hz, padded: 169 slots
      {bits(0, 3, 8, 0), 204, 187},          // LSF Layer III 64 kbit/s 22050 Hz: 417 halved
      {bits(0, 3, 8, 0, 0, 1), 205, 188},
      {bits(0, 3, 8, 0, 3), 204, 195},       // LSF single channel: 9 bytes of side information
      {bits(0, 2, 8, 1), 380, 0},            // LSF Layer II 64 kbit/s 24000 Hz: not halved
      {bits(0, 2, 14, 2, 0, 1), 1437, 0},    // LSF Layer II 160 kbit/s 16000 Hz, padded
      {bits(0, 1, 14, 2, 0, 1), 768, 0},     // LSF Layer I 256 kbit/s 16000 Hz, padded
  };
  for (const Case& c : cases) {
    Parsed p(c.h);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.header.frame_bytes, c.frame_bytes) << std::hex << header_word(c.h);
    EXPECT_EQ(p.header.main_data_bytes, c.main_data_bytes) << std::hex << header_word(c.h);
    EXPECT_EQ(p.header.frame_bytes + 4, bitstream_test::frame_length(c.h));
    EXPECT_EQ(p.header.compute_frame_size(), c.frame_bytes);  // idempotent
  }
  // Protected Layer III frames carry two check bytes less main data.
  HeaderBits protected_frame = bits(1, 3, 9, 0);
  protected_frame.protected_frame = true;
  Parsed p(protected_frame);
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.header.main_data_bytes, 379u);
}

TEST(FrameLength, EveryUsableHeaderFitsTheFrameBuffer) {
  uint32_t largest = 0;
  FrameHeader header;
  for (uint32_t version : {0u, 1u})
    for (uint32_t layer = 1; layer <= 3; ++layer)
      for (uint32_t index = 1; index <= 14; ++index)
        for (uint32_t frequency = 0; frequency <= 2; ++frequency)
          for (uint32_t padding : {0u, 1u}) {
            header.version = version;
            header.layer = layer;
            header.bitrate_index = index;
            header.sample_frequency = frequency;
            header.padding = padding;
            header.mode = 0;
            header.protection_bit = 0;
            const uint32_t bytes = header.compute_frame_size();
            ASSERT_LE(bytes, MpegFileReader::kMaxFrameBytes);
            if (layer == 3) {
              ASSERT_LT(header.main_data_bytes, bytes);
            }
            largest = std::max(largest, bytes);
          }
  EXPECT_EQ(largest, 1725u);
}

TEST(FrameLength, HeadersWithoutABitRateHaveNoLength) {
  FrameHeader header;
  header.version = 1;
  header.sample_frequency = 0;
  for (uint32_t layer = 1; layer <= 3; ++layer) {
    header.layer = layer;
    for (uint32_t index : {0u, 15u}) {
      header.bitrate_index = index;
      EXPECT_EQ(header.compute_frame_size(), 0u);
      EXPECT_EQ(header.main_data_bytes, 0u);
    }
  }
  header.layer = 0;
  header.bitrate_index = 9;
  EXPECT_EQ(header.compute_frame_size(), 0u);
  EXPECT_STREQ(header.bitrate_string(), "reserved");
  EXPECT_EQ(header.ms_per_frame(), 0.0f);
}

TEST(SubbandCount, FollowsTheBitRatePerChannelAndFrequency) {
  struct Case {
    uint32_t layer, bitrate_index, sample_frequency, mode, expected;
  } cases[] = {
      {2, 9, 0, 0, 27}, {2, 9, 1, 0, 27}, {2, 9, 2, 0, 27},  // 160 kbit/s stereo: index 5 per channel
      {2, 1, 2, 3, 12}, {2, 1, 0, 3, 8},  {2, 2, 1, 3, 8},   // single channel, 32 and 48 kbit/s
      {2, 4, 2, 0, 12}, {2, 4, 0, 0, 8},                     // 64 kbit/s stereo
      {2, 1, 1, 0, 27}, {2, 2, 0, 0, 30}, {2, 3, 2, 0, 30},  // indexes 1..3 for two channels wrap
      {2, 11, 0, 0, 30}, {2, 11, 1, 2, 27},                  // high rates
      {2, 5, 0, 3, 27}, {2, 6, 0, 3, 30},                     // single channel 56 and 80 kbit/s
      {1, 1, 0, 3, 32}, {1, 14, 2, 0, 32},                    // Layer I always codes 32
  };
  for (const Case& c : cases) {
    HeaderBits h = bits(1, c.layer, c.bitrate_index, c.sample_frequency, c.mode);
    Parsed p(h);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.header.subband_count, c.expected)
        << "layer " << c.layer << " index " << c.bitrate_index << " frequency " << c.sample_frequency
        << " mode " << c.mode;
  }
  // MPEG-2 LSF Layer II codes 30 subbands at every bit rate (ISO/IEC 13818-3).
  for (uint32_t index : {1u, 4u, 9u, 14u}) {
    Parsed p(bits(0, 2, index, 1, index == 1 ? 3 : 0));
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.header.subband_count, 30u) << "index " << index;
  }
}

TEST(HeaderFields, AreDecodedAndTheJointStereoBoundIsCut) {
  HeaderBits h = bits(1, 2, 4, 0, 1);  // joint stereo, 64 kbit/s: 8 subbands
  h.mode_extension = 3;
  h.copyright = 1;
  h.original = 1;
  h.padding = 1;
  h.private_bit = 1;
  h.emphasis = 2;
  Parsed p(h);
  ASSERT_TRUE(p.ok);
  const FrameHeader& f = p.header;
  EXPECT_EQ(f.layer, 2u);
  EXPECT_EQ(f.version, 1u);
  EXPECT_EQ(f.protection_bit, 1u);
  EXPECT_EQ(f.bitrate_index, 4u);
  EXPECT_EQ(f.sample_frequency, 0u);
  EXPECT_EQ(f.padding, 1u);
  EXPECT_EQ(f.mode, 1u);
  EXPECT_EQ(f.mode_extension, 3u);
  EXPECT_EQ(f.copyright, 1u);
  EXPECT_EQ(f.original, 1u);
  EXPECT_EQ(f.private_bit, 1u);
  EXPECT_EQ(f.emphasis, 2u);
  EXPECT_EQ(f.subband_count, 8u);
  EXPECT_EQ(f.intensity_bound, 8u);  // 16, cut to the 8 coded subbands
  EXPECT_TRUE(f.header_seen);
  EXPECT_EQ(p.crc, nullptr);

  HeaderBits joint = bits(1, 1, 14, 0, 1);
  for (uint32_t extension = 0; extension < 4; ++extension) {
    joint.mode_extension = extension;
    Parsed q(joint);
    ASSERT_TRUE(q.ok);
    EXPECT_EQ(q.header.intensity_bound, 4 * extension + 4);
  }
  joint.mode = 2;  // dual channel has no bound
  Parsed q(joint);
  EXPECT_EQ(q.header.intensity_bound, 0u);
}

TEST(ReadHeader, ProtectedFramesReportTheCheckWordAndAccumulator) {
  // MPEG-1 Layer II stereo 160 kbit/s 44100 Hz, original: header bits 15..0 are 0x9004.
  HeaderBits h = bits(1, 2, 9, 0);
  h.original = 1;
  h.protected_frame = true;
  ASSERT_EQ(header_word(h) & 0xFFFF, 0x9004u);
  HeaderBits plain = h;
  plain.protected_frame = false;
  Bytes contents = make_frame(h, 0x11, {0xBE, 0xEF, 0x80});
  append(contents, make_frame(plain));
  append(contents, make_frame(h, 0x22, {0x12, 0x34}));
  TempFile file(contents);
  MpegFileReader reader(file.path());
  FrameHeader header;
  Crc16* crc = nullptr;

  ASSERT_TRUE(header.read_header(reader, crc));
  ASSERT_NE(crc, nullptr);
  EXPECT_EQ(header.protection_bit, 0u);
  EXPECT_EQ(header.crc_read, 0xBEEFu);
  EXPECT_EQ(crc->value, 0x601Cu);
  EXPECT_EQ(reader.get_bits(1), 1u);  // the body continues after the check word
  Crc16* const first = crc;
  crc->value = 0x1234;  // left over from the frame's own check

  ASSERT_TRUE(header.read_header(reader, crc));
  EXPECT_EQ(crc, nullptr);
  EXPECT_EQ(header.crc->value, 0x1234u);  // an unprotected frame leaves the accumulator alone

  ASSERT_TRUE(header.read_header(reader, crc));
  EXPECT_EQ(crc, first);  // one accumulator for the whole stream
  EXPECT_EQ(header.crc_read, 0x1234u);
  EXPECT_EQ(crc->value, 0x601Cu);
  EXPECT_FALSE(header.read_header(reader, crc));
}

TEST(ReadHeader, ReservedFrequencyIsNoHeaderAndAloneFailsWithItsStatus) {
  HeaderBits h;
  Bytes contents;
  append_word(contents, header_word(h) | 0x0C00);  // sampling-frequency index 3
  append(contents, make_frame(h, 0x3C));
  {
    // The frame after the stray sync is the stream.
    TempFile file(contents);
    MpegFileReader reader(file.path());
    FrameHeader header;
    Crc16* crc = nullptr;
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(header.read_header(reader, crc));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(header.status(), DecodeStatus::kOk);
    EXPECT_EQ(header.sample_frequency, 0u);
    EXPECT_EQ(reader.get_bits(8), 0x3Cu);
  }
  // Nothing but the header with the reserved frequency: the open fails with that status,
  // and nothing is printed.
  contents = make_frame(h);
  contents[2] |= 0x0C;
  TempFile file(contents);
  MpegFileReader reader(file.path());
  FrameHeader header;
  Crc16* crc = nullptr;
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(header.read_header(reader, crc));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(header.status(), DecodeStatus::kUnknownSampleFrequency);
  EXPECT_STREQ(decode_status_text(header.status()), "Unknown sample frequency!");
  EXPECT_FALSE(header.header_seen);
}

TEST(ReadHeader, HeadersWithoutAFrameLengthAreSkippedBeforeAndBetweenFrames) {
  HeaderBits good = bits(1, 2, 9, 0);
  HeaderBits free_format = good;
  free_format.bitrate_index = 0;
  HeaderBits forbidden = good;
  forbidden.bitrate_index = 15;
  HeaderBits reserved = good;
  reserved.layer = 0;

  Bytes contents(36, 0x00);  // junk holding a stray sync with a free-format bitrate
  append_word(contents, header_word(free_format));
  append(contents, make_frame(good, 0x01));
  append(contents, make_frame(good, 0x02));
  append_word(contents, header_word(forbidden));
  append_word(contents, header_word(reserved));
  contents.push_back(0xFF);  // FF FF FD 90 would read as a forbidden index
  append(contents, make_frame(good, 0x03));
  append_word(contents, header_word(forbidden));
  append_word(contents, header_word(free_format));
  TempFile file(contents);
  MpegFileReader reader(file.path());
  FrameHeader header;
  Crc16* crc = nullptr;
  for (uint32_t fill = 1; fill <= 3; ++fill) {
    ASSERT_TRUE(header.read_header(reader, crc)) << "frame " << fill;
    EXPECT_EQ(header.bitrate_index, 9u);
    EXPECT_EQ(reader.get_bits(8), fill);
  }
  EXPECT_FALSE(header.read_header(reader, crc));  // only unusable headers remain: the end
  EXPECT_FALSE(header.read_header(reader, crc));
}

TEST(FirstHeader, TakenOnlyWhenAFrameOfTheStreamFollowsOrTheAudioEnds) {
  HeaderBits stream = bits(1, 2, 9, 1);  // 48 kHz
  HeaderBits other_rate = bits(1, 2, 9, 0);  // 44.1 kHz, looks like a frame of its own
  // Junk: a whole 44.1 kHz frame followed by something that is not a header, then the stream.
  Bytes contents = {0x00, 0xFF};
  append(contents, make_frame(other_rate, 0x44));
  append(contents, {0x12, 0x34, 0x56, 0x78});
  append(contents, make_frame(stream, 0x01));
  append(contents, make_frame(stream, 0x02));
  TempFile file(contents);
  MpegFileReader reader(file.path());
  FrameHeader header;
  Crc16* crc = nullptr;
  ASSERT_TRUE(header.read_header(reader, crc));
  EXPECT_EQ(header.sample_rate(), 48000);
  EXPECT_EQ(reader.get_bits(8), 0x01u);
  ASSERT_TRUE(header.read_header(reader, crc));
  EXPECT_EQ(reader.get_bits(8), 0x02u);
  EXPECT_FALSE(header.read_header(reader, crc));
  // The audio starts at the confirmed header: the junk is not counted.
  EXPECT_EQ(header.frame_count(reader), 2u);

  // A frame followed by a header of another sampling frequency, or by a few stray bytes,
  // is not confirmed; a single frame that ends the file is.
  for (int tail = 0; tail < 3; ++tail) {
    Bytes one = make_frame(stream, 0x07);
    if (tail == 1) append(one, make_frame(other_rate));
    if (tail == 2) append(one, {0x00, 0x00});
    TempFile single(one);
    MpegFileReader single_reader(single.path());
    FrameHeader single_header;
    // (After the refused frame, the 44.1 kHz frame that ends the file is the stream.)
    const bool first_taken = single_header.read_header(single_reader, crc) && single_header.sample_rate() == 48000;
    EXPECT_EQ(first_taken, tail == 0) << tail;
  }
}

TEST(FirstHeader, FreeFormatTakesItsLengthFromTheNextHeader) {
  // Free-format Layer II at 48 kHz with 500-byte frames, some padded (501 bytes).
  HeaderBits h = bits(1, 2, 0, 1);
  auto frame = [&](uint32_t padding, uint8_t fill) {
    HeaderBits f = h;
    f.padding = padding;
    Bytes out;
    append_word(out, header_word(f));
    out.resize(500 + padding, fill);
    return out;
  };
  Bytes contents = {0xFF, 0xF0};  // junk
  for (uint32_t i = 0; i < 4; ++i) append(contents, frame(i & 1, static_cast<uint8_t>(i + 1)));
  TempFile file(contents);
  MpegFileReader reader(file.path());
  FrameHeader header;
  Crc16* crc = nullptr;
  for (uint32_t i = 0; i < 4; ++i) {
    ASSERT_TRUE(header.read_header(reader, crc)) << i;
    EXPECT_EQ(header.frame_bytes, 496u + (i & 1)) << i;
    EXPECT_EQ(header.free_format_bytes, 500u);
    EXPECT_EQ(reader.get_bits(8), i + 1);
    EXPECT_STREQ(header.bitrate_string(), "free format");
  }
  EXPECT_FALSE(header.read_header(reader, crc));
  EXPECT_EQ(header.frame_count(reader), 4u);

  // Starting with a padded frame: the unpadded length is one byte less than the distance.
  Bytes padded_first;
  for (uint32_t i = 0; i < 3; ++i) append(padded_first, frame(i == 0 ? 1 : 0, 9));
  TempFile second(padded_first);
  MpegFileReader second_reader(second.path());
  FrameHeader second_header;
  ASSERT_TRUE(second_header.read_header(second_reader, crc));
  EXPECT_EQ(second_header.free_format_bytes, 500u);
  EXPECT_EQ(second_header.frame_bytes, 497u);

  // Free-format frames longer than the frame buffer takes are not a stream.
  HeaderBits long_frames = h;
  Bytes too_long;
  for (int i = 0; i < 3; ++i) {
    const size_t start = too_long.size();
    append_word(too_long, header_word(long_frames));
    too_long.resize(start + MpegFileReader::kMaxFrameBytes + 8, 0);
  }
  TempFile long_file(too_long);
  MpegFileReader long_reader(long_file.path());
  FrameHeader long_header;
  EXPECT_FALSE(long_header.read_header(long_reader, crc));
}

TEST(ReadHeader, FollowsLayerAndChannelChangesAndEndsAtARateChange) {
  HeaderBits layer2 = bits(1, 2, 9, 1);
  HeaderBits layer3 = bits(1, 3, 9, 1, 1);
  HeaderBits layer1 = bits(1, 1, 3, 1, 2);
  HeaderBits mono = bits(1, 2, 9, 1, 3);
  HeaderBits lsf = bits(0, 2, 9, 1);
  HeaderBits other_rate = bits(1, 2, 9, 0);
  struct Case {
    std::vector<const HeaderBits*> frames;
    std::vector<uint32_t> layers;  // of the frames read
    int32_t changed_rate;          // where the stream ends at a rate change
  };
  const Case cases[] = {
      // An unconfirmed header of another rate is passed over like junk.
      {{&layer2, &layer3, &mono, &lsf, &layer1}, {2, 3, 2, 1}, 0},
      {{&layer2, &mono, &other_rate, &other_rate, &layer2}, {2, 2}, 44100},
      {{&layer3, &layer3, &lsf}, {3, 3}, 24000},  // the audio ends after the changed frame
  };
  for (const Case& c : cases) {
    Bytes contents;
    for (const HeaderBits* h : c.frames) append(contents, make_frame(*h));
    TempFile file(contents);
    MpegFileReader reader(file.path());
    FrameHeader header;
    Crc16* crc = nullptr;
    for (uint32_t layer : c.layers) {
      ASSERT_TRUE(header.read_header(reader, crc));
      EXPECT_EQ(header.layer, layer);
      EXPECT_EQ(header.sample_frequency, 1u);
    }
    EXPECT_FALSE(header.read_header(reader, crc));
    EXPECT_EQ(header.changed_sample_rate(), c.changed_rate);
  }
}

TEST(ReadHeader, BodyCutShortEndsTheStream) {
  Bytes contents = make_frame(HeaderBits{});
  contents.pop_back();
  TempFile file(contents);
  MpegFileReader reader(file.path());
  FrameHeader header;
  Crc16* crc = nullptr;
  EXPECT_FALSE(header.read_header(reader, crc));

  TempFile nothing(Bytes{});
  MpegFileReader empty(nothing.path());
  FrameHeader other;
  EXPECT_FALSE(other.read_header(empty, crc));
  EXPECT_FALSE(other.header_seen);
}

TEST(HeaderText, BitRateAndVersionStrings) {
  FrameHeader header;
  header.version = 1;
  header.layer = 1;
  header.bitrate_index = 14;
  EXPECT_STREQ(header.bitrate_string(), "448 kbit/s");
  EXPECT_STREQ(header.version_string(), "MPEG-1");
  header.layer = 3;
  header.bitrate_index = 9;
  EXPECT_STREQ(header.bitrate_string(), "128 kbit/s");
  header.bitrate_index = 0;
  EXPECT_STREQ(header.bitrate_string(), "free format");
  header.bitrate_index = 15;
  EXPECT_STREQ(header.bitrate_string(), "forbidden");
  header.version = 0;
  header.layer = 2;
  header.bitrate_index = 1;
  EXPECT_STREQ(header.bitrate_string(), "8 kbit/s");
  EXPECT_STREQ(header.version_string(), "MPEG-2 LSF");
  // Every string names the table's bit rate.
  for (uint32_t version : {0u, 1u})
    for (uint32_t layer = 1; layer <= 3; ++layer)
      for (uint32_t index = 1; index <= 14; ++index)
        EXPECT_EQ(std::string(bitrate_strings[version][layer - 1][index]),
                  std::to_string(bitrate_table[version][layer - 1][index] / 1000) + " kbit/s");
}

TEST(Duration, FrameCountAndMillisecondsFromTheFileSize) {
  // Ten padded MPEG-1 Layer I frames at 32 kbit/s, 48000 Hz: 8 slots, 32 bytes unpadded.
  HeaderBits h = bits(1, 1, 1, 1);
  h.padding = 1;
  Bytes contents;
  for (int i = 0; i < 10; ++i) append(contents, make_frame(h));
  ASSERT_EQ(contents.size(), 360u);
  TempFile file(contents);
  MpegFileReader reader(file.path());
  FrameHeader header;
  EXPECT_EQ(header.frame_count(reader), 0u);  // no header yet: no division by zero
  Crc16* crc = nullptr;
  ASSERT_TRUE(header.read_header(reader, crc));
  EXPECT_EQ(header.frame_bytes, 32u);
  EXPECT_EQ(header.frame_count(reader), 360u / 35u);  // frame_bytes + 3
  EXPECT_FLOAT_EQ(header.ms_per_frame(), 8.0f);
  EXPECT_DOUBLE_EQ(header.total_ms(reader), 80.0);
  EXPECT_EQ(header.sample_rate(), 48000);

  // An LSF Layer III stream at 22050 Hz keeps the MPEG-1 frame duration of its index.
  FrameHeader lsf;
  lsf.version = 0;
  lsf.layer = 3;
  lsf.sample_frequency = 0;
  EXPECT_FLOAT_EQ(lsf.ms_per_frame(), 26.122450f);
  EXPECT_EQ(lsf.sample_rate(), 22050);
  // LSF Layer I and II frames keep 384 and 1152 samples at half the rate.
  lsf.layer = 2;
  lsf.sample_frequency = 1;
  EXPECT_FLOAT_EQ(lsf.ms_per_frame(), 48.0f);
  lsf.layer = 1;
  lsf.sample_frequency = 2;
  EXPECT_FLOAT_EQ(lsf.ms_per_frame(), 24.0f);
}

TEST(Duration, FilesOver4GiBAreCountedIn64Bits) {
  HeaderBits h = bits(1, 3, 9, 0);  // 417-byte frames
  Bytes two = make_frame(h);
  append(two, make_frame(h));  // the second confirms the first
  TempFile file(two);
  std::error_code error;
  const uint64_t size = uint64_t{417} * 20000000;  // 8.3 GB
  std::filesystem::resize_file(file.path(), size, error);
  if (error) GTEST_SKIP() << "no sparse file of 8 GB here: " << error.message();
  MpegFileReader reader(file.path());
  FrameHeader header;
  Crc16* crc = nullptr;
  ASSERT_TRUE(header.read_header(reader, crc));
  EXPECT_EQ(header.frame_count(reader), 20000000u);
  EXPECT_NEAR(header.total_ms(reader), 20000000 * 26.122450, 20000000 * 26.122450 * 1e-6);
}

}  // namespace
}  // namespace mpegin
