#include "bitstream/mpeg_file_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include <sys/stat.h>
#include <unistd.h>

#include "bitstream/test_stream.h"

namespace mpegin {
namespace {

using namespace bitstream_test;

// Reference: n bits starting at bit `position` of `bytes`, one bit at a time.
uint32_t naive_bits(const Bytes& bytes, size_t position, uint32_t n) {
  uint32_t value = 0;
  for (uint32_t i = 0; i < n; ++i, ++position) {
    value = (value << 1) | ((bytes[position / 8] >> (7 - position % 8)) & 1);
  }
  return value;
}

Bytes random_bytes(size_t count, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes out(count);
  for (auto& b : out) b = static_cast<uint8_t>(random());
  return out;
}

// A file holding one header followed by `body`; the reader stands after the header.
struct OneFrame {
  explicit OneFrame(const Bytes& body) : file(with_header(body)), reader(file.path()) {
    uint32_t word = 0;
    found = reader.find_header(word, false);
  }
  static Bytes with_header(const Bytes& body) {
    Bytes out;
    append_word(out, header_word(HeaderBits{}));
    append(out, body);
    return out;
  }
  TempFile file;
  MpegFileReader reader;
  bool found = false;
};

class BitReading : public ::testing::TestWithParam<size_t> {};

TEST_P(BitReading, EveryOffsetAndWidthMatchesABitByBitReader) {
  const size_t length = GetParam();
  const Bytes body = random_bytes(length, static_cast<uint32_t>(length));
  OneFrame frame(body);
  ASSERT_TRUE(frame.found);
  MpegFileReader& reader = frame.reader;
  ASSERT_TRUE(reader.read_frame(static_cast<uint32_t>(length)));
  EXPECT_EQ(reader.frame_bytes, length);

  const size_t total_bits = length * 8;
  for (size_t position = 0; position < total_bits; ++position) {
    for (uint32_t n = 0; n <= 17 && position + n <= total_bits; ++n) {
      reader.bits().set_position(static_cast<int32_t>(position));
      ASSERT_EQ(reader.get_bits(n), naive_bits(body, position, n)) << "bit " << position << " width " << n;
      const size_t next = position + n;
      ASSERT_EQ(reader.bits_read(), next);
    }
  }
}

TEST_P(BitReading, RandomWidthsReadTheBodyInStreamOrder) {
  const size_t length = GetParam();
  const Bytes body = random_bytes(length, 7 + static_cast<uint32_t>(length));
  OneFrame frame(body);
  ASSERT_TRUE(frame.found);
  ASSERT_TRUE(frame.reader.read_frame(static_cast<uint32_t>(length)));
  std::mt19937 random(3);
  size_t position = 0;
  while (true) {
    const uint32_t n = random() % 18;
    if (position + n > length * 8) break;
    ASSERT_EQ(frame.reader.get_bits(n), naive_bits(body, position, n)) << "bit " << position;
    position += n;
  }
}

TEST_P(BitReading, BytesAtEveryBitOffsetMatchSingleByteReads) {
  const size_t length = GetParam();
  const Bytes body = random_bytes(length, 11 + static_cast<uint32_t>(length));
  OneFrame frame(body);
  ASSERT_TRUE(frame.found);
  MpegFileReader& reader = frame.reader;
  ASSERT_TRUE(reader.read_frame(static_cast<uint32_t>(length)));
  for (size_t position = 0; position < 40 && position < length * 8; ++position) {
    const uint32_t n = static_cast<uint32_t>((length * 8 - position) / 8);
    reader.bits().set_position(static_cast<int32_t>(position));
    Bytes out(n + 1, 0xA5);
    reader.get_bytes(out.data(), n);
    for (uint32_t i = 0; i < n; ++i)
      ASSERT_EQ(out[i], naive_bits(body, position + 8 * i, 8)) << "bit " << position << " byte " << i;
    EXPECT_EQ(out[n], 0xA5) << "wrote past the end";
    const size_t next = position + 8 * size_t{n};
    ASSERT_EQ(reader.bits_read(), next) << position;
  }
}

// Whole words, a partly filled last word, and the largest body a frame can have.
// Whole words, a partly filled last word, the largest body of a fixed-rate frame, and the
// largest free-format body.
INSTANTIATE_TEST_SUITE_P(BodyLengths, BitReading, ::testing::Values(4, 37, 414, 1725, 1733, 3456));

TEST(FrameBody, ReadsConsecutiveBodiesAndRewindsTheCursor) {
  Bytes contents = random_bytes(100, 11);
  OneFrame frame(contents);
  ASSERT_TRUE(frame.found);
  MpegFileReader& reader = frame.reader;
  ASSERT_TRUE(reader.read_frame(30));
  reader.get_bits(13);
  ASSERT_TRUE(reader.read_frame(50));
  EXPECT_EQ(reader.bits_read(), 0u);
  EXPECT_EQ(reader.get_bits(16), naive_bits(contents, 30 * 8, 16));
  // 20 bytes are left: a longer request delivers them but reports the short read.
  EXPECT_FALSE(reader.read_frame(21));
  EXPECT_EQ(reader.get_bits(8), contents[80]);
}

TEST(FrameBody, RefusesCountsLargerThanTheFrameBuffer) {
  const Bytes body = random_bytes(4000, 5);
  OneFrame frame(body);
  ASSERT_TRUE(frame.found);
  MpegFileReader& reader = frame.reader;
  EXPECT_FALSE(reader.read_frame(MpegFileReader::kMaxFrameBytes + 1));
  EXPECT_FALSE(reader.read_frame(0xFFFFFFFFu));
  // Nothing was consumed by the refused requests.
  ASSERT_TRUE(reader.read_frame(MpegFileReader::kMaxFrameBytes));
  EXPECT_EQ(reader.get_bits(16), naive_bits(body, 0, 16));
}

TEST(FrameBody, ReadingFarPastTheBodyStaysInsideTheBufferAndIsSeen) {
  OneFrame frame(random_bytes(64, 9));
  ASSERT_TRUE(frame.found);
  MpegFileReader& reader = frame.reader;
  ASSERT_TRUE(reader.read_frame(10));
  reader.get_bits(17);
  reader.get_bits(17);
  reader.get_bits(17);
  reader.get_bits(17);
  EXPECT_FALSE(reader.over_read()) << "68 of 80 bits";
  reader.get_bits(12);
  EXPECT_FALSE(reader.over_read()) << "exactly the body";
  reader.get_bits(1);
  EXPECT_TRUE(reader.over_read());
  // A corrupt Layer II frame can ask for tens of thousands of bits from a short body; the
  // reads wrap inside the store (the sanitizer build checks) and the overrun stays seen.
  uint8_t bytes[64];
  for (int i = 0; i < 40000; ++i) {
    reader.get_bits(17);
    reader.get_bytes(bytes, i % 64);
  }
  EXPECT_TRUE(reader.over_read());
}

TEST(HeaderSearch, SkipsJunkByteByByte) {
  HeaderBits h;
  // Junk that holds near misses: 0xFF without the sync nibble, and a sync at an odd offset.
  Bytes contents = {0x00, 0xFF, 0x00, 0xFF, 0xEF, 0x12, 0x34, 0xFF};
  const uint32_t word = header_word(h);
  append_word(contents, word);
  contents.push_back(0xAB);
  TempFile file(contents);
  MpegFileReader reader(file.path());
  uint32_t found = 0;
  ASSERT_TRUE(reader.find_header(found, false));
  // The window at the junk's last 0xFF reads FF FF FD 90: a sync with bitrate index 15.
  EXPECT_EQ(found, word);
}

TEST(HeaderSearch, FirstSearchTakesAnySyncWithAFrameLength) {
  // Junk whose bytes happen to form a sync with a usable layer and bitrate index.
  Bytes contents = {0x12, 0xFF, 0xF3, 0x45, 0x67};
  append_word(contents, header_word(HeaderBits{}));
  TempFile file(contents);
  MpegFileReader reader(file.path());
  uint32_t found = 0;
  ASSERT_TRUE(reader.find_header(found, false));
  EXPECT_EQ(found, 0xFFF34567u);
}

TEST(HeaderSearch, HeadersWithoutAFrameLengthAreNotHeaders) {
  HeaderBits good;
  HeaderBits free_format = good;
  free_format.bitrate_index = 0;
  HeaderBits forbidden = good;
  forbidden.bitrate_index = 15;
  HeaderBits reserved_layer = good;
  reserved_layer.layer = 0;

  Bytes contents;
  append_word(contents, header_word(forbidden));
  append_word(contents, header_word(reserved_layer));
  append_word(contents, header_word(free_format));
  // 0xFF 0xFF 0xFB ...: the window at the first 0xFF has bitrate index 15; the real header
  // starts one byte later and must not be lost.
  contents.push_back(0xFF);
  append_word(contents, header_word(good));
  TempFile file(contents);
  // A first search takes a free-format candidate; a later search in a stream with a bit
  // rate in its headers does not, one in a free-format stream does.
  for (int kind = 0; kind < 3; ++kind) {
    MpegFileReader reader(file.path());
    reader.set_sync_pattern(header_word(good) & 0xFFF80CC0);
    reader.accept_free_format(kind == 2);
    uint32_t found = 0;
    if (kind != 1) {
      ASSERT_TRUE(reader.find_header(found, kind == 2)) << kind;
      EXPECT_EQ(found, header_word(free_format));
    }
    ASSERT_TRUE(reader.find_header(found, kind != 0)) << kind;
    EXPECT_EQ(found, header_word(good));
    EXPECT_FALSE(reader.find_header(found, kind != 0));
  }
}

TEST(HeaderSearch, FindsEveryCandidateAPlainScanFinds) {
  // Dense syncs: bytes drawn mostly from 0xFF and 0xE0..0xFF, across several input blocks.
  std::mt19937 random(17);
  Bytes contents(3 * MpegFileReader::kInputBytes + 123);
  for (auto& b : contents) {
    const uint32_t r = random() % 8;
    b = static_cast<uint8_t>(r < 3 ? 0xFF : (r < 6 ? 0xE0 + random() % 32 : random()));
  }
  std::vector<size_t> expected;
  for (size_t i = 0; i + 4 <= contents.size(); ++i) {
    const uint32_t w = uint32_t{contents[i]} << 24 | uint32_t{contents[i + 1]} << 16 |
                       uint32_t{contents[i + 2]} << 8 | contents[i + 3];
    // 11-bit sync, a version other than the reserved 01, a layer, a bitrate index but 15.
    if ((w >> 21) == 0x7FF && ((w >> 19) & 3) != 1 && ((w >> 17) & 3) != 0 && ((w >> 12) & 15) != 15)
      expected.push_back(i);
  }
  TempFile file(contents);
  MpegFileReader reader(file.path());
  std::vector<size_t> found;
  uint32_t word = 0;
  while (reader.find_header(word, false)) {
    found.push_back(reader.position() - 4);
    reader.step_back(3);
  }
  EXPECT_GT(expected.size(), contents.size() / 16);
  EXPECT_EQ(found, expected);
}

TEST(HeaderSearch, PatternRequiresSameVersionAndFrequency) {
  HeaderBits first;  // MPEG-1 Layer II stereo, 44100 Hz
  HeaderBits other_version = first;
  other_version.version = 0;
  other_version.bitrate_index = 4;
  HeaderBits other_frequency = first;
  other_frequency.sample_frequency = 1;
  HeaderBits single = first;
  single.mode = 3;
  HeaderBits joint = first;  // other stereo modes, layer, bitrate and flags may change
  joint.mode = 1;
  joint.mode_extension = 2;
  joint.layer = 3;
  joint.bitrate_index = 3;
  joint.padding = 1;
  joint.protected_frame = true;
  joint.copyright = 1;
  joint.emphasis = 1;

  Bytes contents;
  for (const HeaderBits* h : {&other_version, &other_frequency, &single, &joint, &first})
    append_word(contents, header_word(*h));
  TempFile file(contents);
  MpegFileReader reader(file.path());
  reader.set_sync_pattern(header_word(first) & 0xFFF80CC0);
  uint32_t found = 0;
  for (const HeaderBits* h : {&single, &joint, &first}) {
    ASSERT_TRUE(reader.find_header(found, true));
    EXPECT_EQ(found, header_word(*h));
  }
  EXPECT_FALSE(reader.find_header(found, true));
}

TEST(HeaderSearch, ShortFilesEndTheSearch) {
  const uint32_t word = header_word(HeaderBits{});
  const Bytes whole = {uint8_t(word >> 24), uint8_t(word >> 16), uint8_t(word >> 8), uint8_t(word)};
  for (size_t length = 0; length < 4; ++length) {
    TempFile file(Bytes(whole.begin(), whole.begin() + length));
    MpegFileReader reader(file.path());
    ASSERT_TRUE(reader.is_open());
    uint32_t found = 0;
    EXPECT_FALSE(reader.find_header(found, false)) << length << " bytes";
  }
  // Junk, then a header cut short by the end of the file.
  Bytes cut = random_bytes(50, 1);
  for (auto& b : cut) b &= 0x7F;
  cut.insert(cut.end(), whole.begin(), whole.begin() + 3);
  TempFile file(cut);
  MpegFileReader reader(file.path());
  uint32_t found = 0;
  EXPECT_FALSE(reader.find_header(found, false));
}

TEST(HeaderSearch, LeavesTheFileRightAfterTheHeader) {
  HeaderBits h;
  Bytes contents = {0x01, 0x02};
  append(contents, make_frame(h, 0x00, {0xDE, 0xAD, 0xBE, 0xEF}));
  TempFile file(contents);
  MpegFileReader reader(file.path());
  uint32_t found = 0;
  ASSERT_TRUE(reader.find_header(found, false));
  ASSERT_TRUE(reader.read_frame(4));
  EXPECT_EQ(reader.get_bits(16), 0xDEADu);
  EXPECT_EQ(reader.get_bits(16), 0xBEEFu);
}

TEST(ReaderFile, MissingFileIsReportedAndEveryOperationFails) {
  const std::string name = "/nonexistent-mpegin-dir/missing.mp2";
  ::testing::internal::CaptureStderr();
  MpegFileReader reader(name.c_str());
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");  // the library prints nothing
  EXPECT_EQ(reader.status().code(), DecodeStatus::kCannotOpen);
  EXPECT_EQ(std::string(reader.status().text()), "Error opening file: " + name);
  EXPECT_FALSE(reader.is_open());
  uint32_t found = 0;
  EXPECT_FALSE(reader.find_header(found, false));
  EXPECT_FALSE(reader.read_frame(10));
  EXPECT_EQ(reader.file_size(), 0u);
  reader.close();  // closing twice is harmless
}

// A named pipe nobody writes to would hold the open for ever; a directory never holds audio.
TEST(ReaderFile, OnlyFilesOnDiskAreOpened) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("mpegin-reader-places-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string fifo = (dir / "pipe.mp2").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& name : {fifo, dir.string()}) {
    MpegFileReader reader(name.c_str());
    EXPECT_EQ(std::string(reader.status().text()), "Error opening file: " + name);
    EXPECT_FALSE(reader.is_open()) << name;
  }
  std::filesystem::remove_all(dir);
}

TEST(ReaderFile, SizeIsKeptAcrossSearchesAndCoversFilesOver4GiB) {
  const Bytes contents = make_frame(HeaderBits{});
  TempFile file(contents);
  MpegFileReader reader(file.path());
  uint32_t found = 0;
  ASSERT_TRUE(reader.find_header(found, false));
  EXPECT_EQ(reader.file_size(), contents.size());
  // Asking for the size does not move the read position.
  ASSERT_TRUE(reader.read_frame(2));
  EXPECT_EQ(reader.get_bits(16), 0x5555u);

  std::error_code error;
  const uint64_t big = (uint64_t{5} << 30) + 3;
  std::filesystem::resize_file(file.path(), big, error);
  if (error) GTEST_SKIP() << "no sparse file of 5 GiB here: " << error.message();
  MpegFileReader large(file.path());
  EXPECT_EQ(large.file_size(), big);
  reader.close();
  EXPECT_FALSE(reader.is_open());
  EXPECT_FALSE(reader.find_header(found, false));
}

// An ID3v2 tag header declaring `size` bytes after it.
Bytes id3v2_header(uint32_t size, uint8_t major = 3, uint8_t flags = 0) {
  return {'I', 'D', '3', major, 0, flags, uint8_t(size >> 21 & 0x7F), uint8_t(size >> 14 & 0x7F),
          uint8_t(size >> 7 & 0x7F), uint8_t(size & 0x7F)};
}

TEST(ReaderFile, TagsAtTheEndAreNotAudio) {
  HeaderBits h;
  const Bytes frame = make_frame(h);
  // Each tag holds a whole frame that repeats the stream's pattern.
  Bytes ape_items = {'A', 'P', 'E', 'T', 'A', 'G', 'E', 'X', 0xD0, 0x07, 0, 0};
  const Bytes ape_footer_tail = {0, 0, 0, 0, 0, 0, 0, 0xA0, 0, 0, 0, 0, 0, 0, 0, 0};
  Bytes id3v1 = {'T', 'A', 'G'};
  append(id3v1, Bytes(40, ' '));
  append(id3v1, make_frame(HeaderBits{1, 1, false, 1, 0}));  // a 32-byte Layer I frame
  id3v1.resize(128, 0);

  for (int layout = 0; layout < 3; ++layout) {
    Bytes contents = frame;
    append(contents, frame);
    const uint64_t audio = contents.size();
    if (layout != 2) {
      // APE tag: header, one item holding a frame, footer; size counts items and footer.
      Bytes items = {0, 0, 0, 0, 0, 0, 0, 0, 'F', 0};
      const uint32_t value = static_cast<uint32_t>(frame.size());
      items[0] = uint8_t(value), items[1] = uint8_t(value >> 8);
      append(items, frame);
      const uint32_t size = static_cast<uint32_t>(items.size() + 32);
      for (int part = 0; part < 2; ++part) {
        Bytes block = {'A', 'P', 'E', 'T', 'A', 'G', 'E', 'X', 0xD0, 0x07, 0, 0,
                       uint8_t(size), uint8_t(size >> 8), 0, 0, 1, 0, 0, 0,
                       0, 0, 0, uint8_t(part == 0 ? 0xE0 : 0x80)};
        block.resize(32, 0);
        if (part == 1) append(contents, items);
        append(contents, block);
      }
    }
    if (layout != 0) append(contents, id3v1);
    TempFile file(contents);
    MpegFileReader reader(file.path());
    reader.set_sync_pattern(header_word(h) & 0xFFF80CC0);
    uint32_t found = 0;
    int frames = 0;
    while (reader.find_header(found, true)) {
      ++frames;
      reader.read_frame(static_cast<uint32_t>(frame.size() - 4));
    }
    EXPECT_EQ(frames, 2) << "layout " << layout;
    EXPECT_EQ(reader.audio_bytes(), audio) << "layout " << layout;
    EXPECT_EQ(reader.file_size(), contents.size());
  }
}

TEST(ReaderFile, SearchReadsTheFileInLargeBlocks) {
  // Four megabytes of 0xFF: every byte starts a sync, none a header.
  TempFile file(Bytes(4 << 20, 0xFF));
  MpegFileReader reader(file.path());
  uint32_t found = 0;
  EXPECT_FALSE(reader.find_header(found, false));
  EXPECT_EQ(reader.position(), (4u << 20) - 3);
  EXPECT_LE(reader.read_calls(), (4u << 20) / MpegFileReader::kInputBytes + 4);
}

TEST(Lookahead, PeeksWithoutMovingAcrossBufferRefills) {
  // A header just before the end of the first input block, the word to peek in the next.
  const uint32_t word = header_word(HeaderBits{});
  Bytes contents(MpegFileReader::kInputBytes - 6, 0x00);
  append_word(contents, word);
  append(contents, random_bytes(3000, 4));
  contents[contents.size() - 1000] = 0xFF;
  contents[contents.size() - 999] = 0xFE;
  contents[contents.size() - 997] = 0x00;
  TempFile file(contents);
  MpegFileReader reader(file.path());
  uint32_t found = 0;
  ASSERT_TRUE(reader.find_header(found, false));
  const uint64_t after = reader.position();
  EXPECT_EQ(after, MpegFileReader::kInputBytes - 2);
  uint32_t peeked = 0;
  ASSERT_TRUE(reader.peek_word(100, peeked));
  EXPECT_EQ(peeked, (uint32_t{contents[after + 100]} << 24) | (uint32_t{contents[after + 101]} << 16) |
                        (uint32_t{contents[after + 102]} << 8) | contents[after + 103]);
  EXPECT_FALSE(reader.peek_word(2997, peeked));  // runs past the end
  EXPECT_EQ(reader.bytes_ahead(5000), 3000u);
  EXPECT_EQ(reader.bytes_ahead(10), 10u);
  uint32_t distance = 0;
  ASSERT_TRUE(reader.find_ahead(0, 2996, 0xFFFE0000, 0xFFFE0000, false, distance));
  // The first 0xFF 0xFE... from the start of the random bytes, found by a plain scan.
  size_t expected = after;
  while (!(contents[expected] == 0xFF && contents[expected + 1] >= 0xFE && (contents[expected + 3] & 0xC0) != 0xC0))
    ++expected;
  EXPECT_EQ(distance, expected - after);
  EXPECT_EQ(reader.position(), after);
  // Stepping back re-reads the header's last bytes.
  reader.step_back(3);
  EXPECT_EQ(reader.position(), after - 3);
  ASSERT_TRUE(reader.read_frame(3));
  EXPECT_EQ(reader.get_bits(16), (word >> 8) & 0xFFFF);
}

TEST(Id3v2, TagsAtTheStartArePassedOverByTheirSize) {
  HeaderBits h;
  Bytes contents = id3v2_header(20);
  append(contents, make_frame(h, 0x11));  // inside the first tag's data only partly
  contents.resize(30);
  append(contents, id3v2_header(make_frame(h).size(), 4, 0x40));  // extended header flag
  append(contents, make_frame(h, 0x22));
  append(contents, {0x01, 0x02});
  TempFile file(contents);
  MpegFileReader reader(file.path());
  reader.skip_id3v2_tags();
  EXPECT_EQ(reader.position(), contents.size() - 2);

  // A tag that claims more than the file holds: only its header is passed over.
  Bytes damaged = id3v2_header(1 << 20);
  append(damaged, make_frame(h));
  TempFile damaged_file(damaged);
  MpegFileReader damaged_reader(damaged_file.path());
  damaged_reader.skip_id3v2_tags();
  EXPECT_EQ(damaged_reader.position(), 10u);
  uint32_t found = 0;
  ASSERT_TRUE(damaged_reader.find_header(found, false));
  EXPECT_EQ(found, header_word(h));
}

}  // namespace
}  // namespace mpegin
