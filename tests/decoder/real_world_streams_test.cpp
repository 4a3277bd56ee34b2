// Files as they are found on disks: tags before and after the audio, junk before the first
// frame, an encoder's information frame, free-format streams, files over 4 GiB. Each file
// is built here around a clean stream and must decode exactly as the clean stream does.
#ifndef _FILE_OFFSET_BITS
#define _FILE_OFFSET_BITS 64  // fseeko past 4 GiB on 32-bit systems
#endif

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "bitstream/crc16.h"
#include "decoder/decoder_context.h"
#include "support/conformance.h"
#include "support/frame_builder.h"

namespace mpegin {
namespace {

using bitstream_test::append;
using bitstream_test::header_word;
using bitstream_test::TempFile;
using test_support::Bytes;
using test_support::HeaderBits;
using test_support::id3v2_tag;
using test_support::info_frame;
using test_support::InfoTag;
using test_support::layer2_tone_frame;

// What a whole decode of a file gave.
struct Decoded {
  bool opened = false;
  StreamInfo info{};
  uint64_t frame_count = 0;
  std::vector<uint32_t> reads;
  std::vector<float> samples;
};

Decoded decode_path(const char* path) {
  Decoded out;
  DecoderContext context;
  out.opened = context.open(path) == 1;
  if (!out.opened) return out;
  context.describe(out.info);
  out.frame_count = context.frame_count();
  std::vector<float> frame(DecoderContext::kMaxFrameOutputBytes / sizeof(float));
  for (int i = 0; i < 100000; ++i) {
    const uint32_t bytes = context.decode_next(frame.data());
    out.reads.push_back(bytes);
    out.samples.insert(out.samples.end(), frame.begin(), frame.begin() + bytes / sizeof(float));
    if (bytes == 0 && context.end_of_stream()) break;
  }
  return out;
}

Decoded decode(const Bytes& contents) {
  TempFile file(contents);
  return decode_path(file.path());
}

// The same stream: same frames, same samples, same description.
void expect_same_stream(const Decoded& got, const Decoded& clean, const std::string& what) {
  ASSERT_TRUE(got.opened) << what;
  EXPECT_EQ(got.info.sample_rate, clean.info.sample_rate) << what;
  EXPECT_EQ(got.info.layer, clean.info.layer) << what;
  EXPECT_EQ(got.reads, clean.reads) << what;
  EXPECT_TRUE(got.samples == clean.samples) << what;
  EXPECT_EQ(got.frame_count, clean.frame_count) << what;
  EXPECT_DOUBLE_EQ(got.info.duration_ms, clean.info.duration_ms) << what;
}

HeaderBits layer2_header(uint32_t sample_frequency, uint32_t bitrate_index = 10) {
  HeaderBits h;
  h.layer = 2;
  h.bitrate_index = bitrate_index;  // 192 kbit/s: 96 per channel
  h.sample_frequency = sample_frequency;
  return h;
}

// Layer II frames of a changing tone; at 44.1 kHz every other frame is padded.
Bytes tone_stream(int frames, uint32_t sample_frequency) {
  Bytes out;
  for (int i = 0; i < frames; ++i) {
    HeaderBits h = layer2_header(sample_frequency);
    h.padding = sample_frequency == 0 ? static_cast<uint32_t>(i & 1) : 0;
    append(out, layer2_tone_frame(h, static_cast<uint32_t>(5 * i + 1)));
  }
  return out;
}

// Tag data as cover art often holds it: bytes without a sync, and two whole frames of a
// 44.1 kHz stream in a row, which confirm each other.
Bytes cover_art() {
  std::mt19937 random(42);
  Bytes out(700);
  for (auto& b : out) b = static_cast<uint8_t>(random() % 0xFF);
  for (int i = 0; i < 2; ++i) append(out, layer2_tone_frame(layer2_header(0), 26));
  out.resize(out.size() + 300, 0x00);
  return out;
}

TEST(RealWorldTags, Id3v2TagsArePassedOverWhateverTheirVersionAndFlags) {
  const Bytes stream = tone_stream(6, 1);  // 48 kHz
  const Decoded clean = decode(stream);
  ASSERT_TRUE(clean.opened);
  ASSERT_EQ(clean.info.sample_rate, 48000);
  // 2.2, 2.3, 2.4; unsynchronisation, extended header, footer (2.4 only).
  for (uint8_t major : {2, 3, 4}) {
    for (uint8_t flags : {0x00, 0x80, 0x40, 0x10}) {
      Bytes file = id3v2_tag(major, flags, cover_art());
      append(file, stream);
      // Without the tag's size the frames in the cover art would fix 44.1 kHz for the
      // whole file, and none of the 48 kHz frames could be found.
      expect_same_stream(decode(file), clean, "ID3v2." + std::to_string(major) + " flags " + std::to_string(flags));
    }
  }
}

TEST(RealWorldTags, SeveralTagsInARowAndJunkAfterThem) {
  const Bytes stream = tone_stream(5, 1);
  const Decoded clean = decode(stream);
  Bytes file = id3v2_tag(3, 0, cover_art());
  append(file, id3v2_tag(4, 0x10, cover_art()));
  append(file, id3v2_tag(2, 0, {}));
  append(file, Bytes(2048, 0x00));  // padding after the tags
  append(file, stream);
  expect_same_stream(decode(file), clean, "three tags");
}

TEST(RealWorldTags, TagRunningPastTheEndOfTheFile) {
  const Bytes stream = tone_stream(4, 1);
  const Decoded clean = decode(stream);
  // A declared size of 128 MB in a small file: the frames right after the tag header are
  // the stream.
  const Bytes oversized = {'I', 'D', '3', 3, 0, 0, 0x40, 0, 0, 0};
  Bytes file = oversized;
  append(file, stream);
  expect_same_stream(decode(file), clean, "tag size past the end");

  // Nothing decodable after such a tag: the open fails.
  Bytes only_tag = oversized;
  append(only_tag, Bytes(5000, 0x20));
  EXPECT_FALSE(decode(only_tag).opened);
}

TEST(RealWorldTags, JunkBeforeTheFirstFrameIsNotDecoded) {
  const Bytes stream = tone_stream(5, 1);
  const Decoded clean = decode(stream);
  // A stray frame of another sampling frequency, then bytes that are no header.
  Bytes file = {0x00, 0x11, 0xFF};
  append(file, layer2_tone_frame(layer2_header(0), 13));
  append(file, Bytes(333, 0x7E));
  append(file, {0xFF, 0xFD, 0x00});  // a sync with the stream's pattern, followed by nothing
  append(file, stream);
  expect_same_stream(decode(file), clean, "junk");
}

// An APE tag holding `item` as the value of one item, with or without its header.
Bytes ape_tag(const Bytes& item, bool with_header) {
  Bytes items = {uint8_t(item.size()), uint8_t(item.size() >> 8), 0, 0, 0, 0, 0, 0, 'C', 'o', 'v', 'e', 'r', 0};
  append(items, item);
  const uint32_t size = static_cast<uint32_t>(items.size() + 32);
  auto block = [&](bool is_header) {
    Bytes b = {'A', 'P', 'E', 'T', 'A', 'G', 'E', 'X', 0xD0, 0x07, 0, 0,
               uint8_t(size), uint8_t(size >> 8), 0, 0, 1, 0, 0, 0,
               0, 0, 0, uint8_t((with_header ? 0x80 : 0) | (is_header ? 0x20 : 0))};
    b.resize(32, 0);
    return b;
  };
  Bytes out = with_header ? block(true) : Bytes{};
  append(out, items);
  append(out, block(false));
  return out;
}

TEST(RealWorldTags, TagsAtTheEndAreNotDecoded) {
  const Bytes stream = tone_stream(5, 1);
  const Decoded clean = decode(stream);
  // Both tags hold what the search would take for frames of the stream: a whole Layer II
  // frame in the APE item, a 32-byte Layer I frame of the same sampling frequency in the
  // ID3v1 comment.
  const Bytes frame_in_tag = layer2_tone_frame(layer2_header(1), 20);
  Bytes id3v1 = {'T', 'A', 'G'};
  append(id3v1, Bytes(60, 'x'));
  HeaderBits layer1 = layer2_header(1, 1);
  layer1.layer = 1;
  append(id3v1, bitstream_test::make_frame(layer1, 0x5A));
  id3v1.resize(128, 0);

  for (int layout = 0; layout < 4; ++layout) {
    Bytes file = stream;
    if (layout == 0 || layout == 2) append(file, ape_tag(frame_in_tag, layout == 2));
    if (layout >= 1) append(file, id3v1);
    expect_same_stream(decode(file), clean, "layout " + std::to_string(layout));
  }
}

TEST(RealWorldTags, DurationCountsTheAudioOnly) {
  const Bytes stream = tone_stream(8, 1);
  const Decoded clean = decode(stream);
  ASSERT_NEAR(clean.info.duration_ms, 8 * 24.0, 1e-3);
  // 300 kB of cover art would otherwise count as some 480 frames more.
  Bytes file = id3v2_tag(3, 0, Bytes(300000, 0x00));
  append(file, stream);
  Bytes id3v1 = {'T', 'A', 'G'};
  id3v1.resize(128, ' ');
  append(file, id3v1);
  expect_same_stream(decode(file), clean, "large tag");
}

// Silent Layer III frames behind an information frame.
struct VbrCase {
  uint32_t version;
  uint32_t mode;
  bool protected_frame;
  InfoTag tag;
};

class RealWorldVbr : public ::testing::TestWithParam<VbrCase> {};

TEST_P(RealWorldVbr, InformationFrameIsSkippedAndGivesTheFrameCount) {
  const VbrCase c = GetParam();
  HeaderBits info_header;
  info_header.version = c.version;
  info_header.layer = 3;
  info_header.mode = c.mode;
  info_header.protected_frame = c.protected_frame;
  info_header.bitrate_index = c.version == 1 ? 1 : 5;  // small: 104 and 130 bytes
  HeaderBits audio = info_header;
  audio.bitrate_index = 14;  // large: 1044 and 522 bytes
  constexpr uint32_t kFrames = 7;
  Bytes clean_stream;
  for (uint32_t i = 0; i < kFrames; ++i) append(clean_stream, test_support::FrameBuilder(audio).finish());
  const Decoded clean = decode(clean_stream);
  ASSERT_TRUE(clean.opened);
  ASSERT_EQ(clean.reads.size(), kFrames + 1);

  Bytes file = info_frame(info_header, c.tag, kFrames);
  append(file, clean_stream);
  const Decoded got = decode(file);
  ASSERT_TRUE(got.opened);
  EXPECT_EQ(got.reads, clean.reads);  // no output for the information frame
  EXPECT_EQ(got.frame_count, kFrames);
  // 1152 samples per MPEG-1 frame at 44.1 kHz, 576 per LSF frame at 22.05 kHz.
  EXPECT_NEAR(got.info.duration_ms, kFrames * 26.122450, 1e-3);
  EXPECT_EQ(got.info.bitrate_index, 14);

  // The same bytes where the tag does not belong (one byte later) are an ordinary frame.
  const uint32_t single = c.mode == 3;
  const uint32_t side = c.version == 1 ? (single ? 17 : 32) : (single ? 9 : 17);
  Bytes misplaced = info_frame(info_header, c.tag, kFrames, c.tag == InfoTag::kVbri ? 33 : side + 3);
  append(misplaced, clean_stream);
  const Decoded plain = decode(misplaced);
  ASSERT_TRUE(plain.opened);
  EXPECT_EQ(plain.reads.size(), kFrames + 2);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, RealWorldVbr,
    ::testing::Values(VbrCase{1, 0, false, InfoTag::kXing}, VbrCase{1, 3, false, InfoTag::kXing},
                      VbrCase{0, 1, false, InfoTag::kXing}, VbrCase{0, 3, false, InfoTag::kInfo},
                      VbrCase{1, 0, true, InfoTag::kInfo}, VbrCase{1, 3, true, InfoTag::kXing},
                      VbrCase{1, 2, false, InfoTag::kVbri}, VbrCase{0, 3, false, InfoTag::kVbri}));

TEST(RealWorldVbrDuration, WithoutAFrameCountTheWalkCountsTheFrames) {
  HeaderBits h;
  h.layer = 3;
  h.bitrate_index = 9;  // 417 bytes
  Bytes stream;
  for (int i = 0; i < 10; ++i) append(stream, test_support::FrameBuilder(h).finish());
  Bytes file = info_frame(h, InfoTag::kInfo, 0);
  // An "Info" header whose flags name no frame count.
  for (size_t i = 4 + 32 + 4; i < 4 + 32 + 12; ++i) file[i] = 0;
  append(file, stream);
  const Decoded got = decode(file);
  ASSERT_TRUE(got.opened);
  EXPECT_EQ(got.reads.size(), 11u);
  EXPECT_EQ(got.frame_count, 10u);  // the information frame is no audio
}

// Free-format Layer II: the tone frames again, with bitrate index 0 and the same lengths,
// or longer than any frame of the bit rate table.
TEST(RealWorldFreeFormat, LayerTwoFramesOfTheirOwnLength) {
  const Bytes fixed = tone_stream(6, 0);  // 626 and 627 bytes
  const Decoded clean = decode(fixed);
  ASSERT_TRUE(clean.opened);

  Bytes free_stream;
  for (int i = 0; i < 6; ++i) {
    HeaderBits h = layer2_header(0, 0);
    h.padding = static_cast<uint32_t>(i & 1);
    append(free_stream, layer2_tone_frame(h, static_cast<uint32_t>(5 * i + 1), 626 + (i & 1)));
  }
  const Decoded got = decode(free_stream);
  ASSERT_TRUE(got.opened);  // every frame used to be skipped, so the open failed
  EXPECT_EQ(got.reads, clean.reads);
  EXPECT_TRUE(got.samples == clean.samples);
  EXPECT_EQ(got.info.bitrate_index, 0);
  EXPECT_STREQ(got.info.bitrate_text, "free format");
  EXPECT_EQ(got.info.frame_bytes, 622);
  EXPECT_EQ(got.frame_count, clean.frame_count);
  EXPECT_DOUBLE_EQ(got.info.duration_ms, clean.info.duration_ms);

  // 3000-byte frames (about 920 kbit/s) fit the frame buffer; their zero tail is ignored.
  Bytes long_frames;
  for (int i = 0; i < 6; ++i) {
    HeaderBits h = layer2_header(0, 0);
    append(long_frames, layer2_tone_frame(h, static_cast<uint32_t>(5 * i + 1), 3000));
  }
  const Decoded long_got = decode(long_frames);
  ASSERT_TRUE(long_got.opened);
  EXPECT_TRUE(long_got.samples == clean.samples);
  EXPECT_EQ(long_got.info.frame_bytes, 2996);
  EXPECT_EQ(long_got.frame_count, 6u);
}

// A free-format first frame whose zero tail holds the stream's own header word halfway: a
// length of half the frame would be confirmed by one more header, not by three.
TEST(RealWorldFreeFormat, ASyncInsideTheFirstFrameDoesNotShortenIt) {
  Bytes free_stream;
  Bytes fixed;
  for (int i = 0; i < 6; ++i) {
    HeaderBits h = layer2_header(0, 0);
    h.padding = static_cast<uint32_t>(i & 1);
    append(free_stream, layer2_tone_frame(h, static_cast<uint32_t>(5 * i + 1), 626 + (i & 1)));
    h.bitrate_index = 10;
    append(fixed, layer2_tone_frame(h, static_cast<uint32_t>(5 * i + 1)));
  }
  for (int i = 0; i < 4; ++i) free_stream[313 + i] = free_stream[i];
  const Decoded clean = decode(fixed);
  const Decoded got = decode(free_stream);
  ASSERT_TRUE(got.opened);
  EXPECT_EQ(got.reads, clean.reads);
  EXPECT_TRUE(got.samples == clean.samples);
  EXPECT_EQ(got.info.frame_bytes, 622);
  EXPECT_EQ(got.frame_count, 6u);
}

// Without an information frame the frames are counted by their headers: a variable bit rate
// and junk around the audio change nothing of the count, the duration or the decoded size.
TEST(RealWorldCounts, VariableRateAndJunkAroundTheAudioAreCountedExactly) {
  const uint32_t indexes[] = {10, 14, 12, 11, 13};
  Bytes stream;
  uint64_t bytes = 0;
  for (int i = 0; i < 20; ++i) {
    const Bytes frame = layer2_tone_frame(layer2_header(0, indexes[i % 5]), static_cast<uint32_t>(i % 27));
    bytes += frame.size();
    append(stream, frame);
  }
  std::mt19937 random(7);
  Bytes junk(3000);
  for (uint8_t& b : junk) b = static_cast<uint8_t>(random() % 0xF0);  // no sync in it
  Bytes junk_around = junk;
  append(junk_around, stream);
  append(junk_around, junk);
  for (const Bytes* file : {&stream, &junk_around}) {
    TempFile temp(*file);
    DecoderContext context;
    ASSERT_EQ(context.open(temp.path()), 1);
    StreamInfo info{};
    context.describe(info);
    EXPECT_EQ(context.frame_count(), 20u);
    EXPECT_DOUBLE_EQ(info.duration_ms, 20 * 1152 * 1000.0 / 44100);
    ASSERT_NE(context.walk(), nullptr);
    EXPECT_TRUE(context.walk()->variable_rate);
    EXPECT_DOUBLE_EQ(context.walk()->average_bitrate(), bytes * 8 * 44100.0 / (20 * 1152));
    std::vector<uint32_t> reads(20, 9216u);
    reads.push_back(0);
    EXPECT_EQ(decode(*file).reads, reads);
  }
}

// ISO compliance streams when present.
std::string conformance_stream(const std::string& name) {
  const std::string path = conformance::directory() + "/" + name;
  if (!std::filesystem::exists(path)) return {};
  return path;
}

Bytes read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

#define REQUIRE_CONFORMANCE_STREAM(path, name)                                                  \
  const std::string path = conformance_stream(name);                                           \
  if (path.empty()) {                                                                          \
    if (conformance::required()) FAIL() << "ISO compliance stream missing: " << name;          \
    GTEST_SKIP() << "*** ISO compliance stream " << name << " not found in "                   \
                 << conformance::directory() << ": set MPEG_CONFORMANCE_DIR ***";              \
  }

// The headers of a clean fixed-rate stream, rewritten to the free-format bitrate index.
Bytes as_free_format(const Bytes& stream) {
  Bytes out = stream;
  size_t at = 0;
  while (at + 4 <= out.size()) {
    HeaderBits h;
    const uint32_t word = uint32_t{out[at]} << 24 | uint32_t{out[at + 1]} << 16 | uint32_t{out[at + 2]} << 8 | out[at + 3];
    if ((word >> 20) != 0xFFF) break;
    h.version = (word >> 19) & 1;
    h.layer = 4 - ((word >> 17) & 3);
    h.bitrate_index = (word >> 12) & 15;
    h.sample_frequency = (word >> 10) & 3;
    h.padding = (word >> 9) & 1;
    out[at + 2] &= 0x0F;
    if (h.layer == 3 && ((word >> 16) & 1) == 0) {
      // The check word covers the bitrate index: computed again for the new one.
      Crc16 crc;
      crc.feed((uint32_t{out[at + 2]} << 8) | out[at + 3], 16);
      const uint32_t side = ((word >> 6) & 3) == 3 ? 17 : 32;
      for (uint32_t i = 0; i < side; ++i) crc.feed(out[at + 6 + i], 8);
      out[at + 4] = static_cast<uint8_t>(crc.value >> 8);
      out[at + 5] = static_cast<uint8_t>(crc.value);
    }
    at += bitstream_test::frame_length(h);
  }
  return out;
}

TEST(RealWorldIso, StreamsRewrittenAsFreeFormatDecodeAsBefore) {
  // Layer I/II streams without check words (theirs cover the bitrate index): Layer I with padded
  // frames, Layer III stereo with padded frames, LSF Layer II, Layer II single channel at
  // 32 kbit/s (the low-rate allocation tables), Layer III single channel.
  for (const char* name : {"l1-fl8.bit", "l3-hecommon.bit", "l2-test32.bit", "l2-fl13.bit", "l3-compl.bit"}) {
    REQUIRE_CONFORMANCE_STREAM(path, name);
    const Bytes stream = read_file(path);
    const Decoded clean = decode(stream);
    ASSERT_TRUE(clean.opened) << name;
    const Decoded got = decode(as_free_format(stream));
    ASSERT_TRUE(got.opened) << name;
    EXPECT_EQ(got.reads, clean.reads) << name;
    EXPECT_TRUE(got.samples == clean.samples) << name;
    EXPECT_STREQ(got.info.bitrate_text, "free format") << name;
    EXPECT_EQ(got.info.frame_bytes, clean.info.frame_bytes) << name;
  }
}

TEST(RealWorldIso, LayerThreeStreamBehindTagsAndAnInformationFrame) {
  REQUIRE_CONFORMANCE_STREAM(path, "l3-hecommon.bit");
  const Bytes stream = read_file(path);
  const Decoded clean = decode(stream);
  ASSERT_TRUE(clean.opened);
  HeaderBits h;
  h.layer = 3;
  h.bitrate_index = 9;
  const uint32_t frames = static_cast<uint32_t>(clean.reads.size() - 1);
  Bytes file = id3v2_tag(4, 0, cover_art());
  append(file, info_frame(h, InfoTag::kXing, frames));
  append(file, stream);
  Bytes id3v1 = {'T', 'A', 'G'};
  id3v1.resize(128, 0);
  append(file, id3v1);
  const Decoded got = decode(file);
  ASSERT_TRUE(got.opened);
  EXPECT_EQ(got.reads, clean.reads);
  EXPECT_TRUE(got.samples == clean.samples);
  EXPECT_EQ(got.frame_count, frames);
}

// A variable-rate file from an encoder people use, when ffmpeg with libmp3lame is installed:
// ID3v2.4 tag, Xing/Info frame with the LAME extension, audio, ID3v1 tag.
TEST(RealWorldEncoder, VariableRateFileWithTagsFromAnEncoder) {
  const std::string dir = std::filesystem::temp_directory_path().string();
  const std::string path = dir + "/mpegin_vbr_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".mp3";
  const std::string command =
      "ffmpeg -hide_banner -loglevel error -y -f lavfi -i sine=frequency=440:duration=3 -f lavfi -i "
      "anoisesrc=d=3:a=0.3 -filter_complex amerge=inputs=2 -ac 2 -c:a libmp3lame -q:a 4 -write_xing 1 "
      "-write_id3v1 1 -metadata title=Test \"" + path + "\" >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) GTEST_SKIP() << "ffmpeg with libmp3lame is not installed";
  const Decoded got = decode_path(path.c_str());
  const Bytes bytes = read_file(path);
  std::filesystem::remove(path);
  ASSERT_TRUE(got.opened);
  ASSERT_GT(bytes.size(), 128u);
  ASSERT_EQ(bytes[0], 'I');                                // the tag is there
  ASSERT_EQ(bytes[bytes.size() - 128], 'T');
  EXPECT_EQ(got.info.sample_rate, 44100);
  EXPECT_EQ(got.info.channel_count, 2);
  // The encoder's tag gives its delay and padding: exactly the 3 s encoded come out.
  EXPECT_EQ(got.frame_count, got.reads.size() - 1);        // the Xing count is the audio
  EXPECT_EQ(got.samples.size(), 2u * 132300);
  EXPECT_EQ(got.info.duration_ms, 3000.0);
}

// Writes `bytes` at `offset` of an existing file.
bool write_at(const char* path, uint64_t offset, const Bytes& bytes) {
  std::FILE* f = std::fopen(path, "r+b");
  if (f == nullptr) return false;
#if defined(_WIN32)
  const bool ok = _fseeki64(f, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
  const bool ok = fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
  const bool written = ok && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && written;
}

TEST(RealWorldLargeFiles, AudioBehindFourGiBOfTags) {
  // Seventeen ID3v2 tags of the largest size (2^28 - 1 bytes each, 4.56 GB in all) in a
  // sparse file, then the stream and an ID3v1 tag.
  const Bytes stream = tone_stream(5, 1);
  const Decoded clean = decode(stream);
  TempFile file(Bytes{});
  constexpr uint64_t kTagBytes = 10 + 0x0FFFFFFF;
  constexpr int kTags = 17;
  const uint64_t audio_at = kTags * kTagBytes;
  std::error_code error;
  std::filesystem::resize_file(file.path(), audio_at + stream.size() + 128, error);
  if (error) GTEST_SKIP() << "no sparse file of 4.6 GB here: " << error.message();
  const Bytes tag_header = {'I', 'D', '3', 3, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F};
  for (int i = 0; i < kTags; ++i) ASSERT_TRUE(write_at(file.path(), i * kTagBytes, tag_header));
  ASSERT_TRUE(write_at(file.path(), audio_at, stream));
  ASSERT_TRUE(write_at(file.path(), audio_at + stream.size(), {'T', 'A', 'G'}));

  const Decoded got = decode_path(file.path());
  expect_same_stream(got, clean, "4.6 GB of tags");
}

}  // namespace
}  // namespace mpegin
