// The C interface: a file, the same bytes in memory and the same bytes as a stream fed in
// random-sized chunks give the same samples as the decoder context the module uses; refusals
// come back as statuses with their messages.
#include "mpegaudio/mpegaudio.h"
#include "mpegaudio/mpegaudio.hpp"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../fuzz/hostile_fixtures.h"
#include "bitstream/stream_source.h"
#include "bitstream/test_stream.h"
#include "support/conformance.h"
#include "support/encoded_files.h"

namespace mpegin {
namespace {

using bitstream_test::Bytes;
using bitstream_test::TempFile;

enum class Source { kFile, kMemory, kStream };

// Hands out the bytes in chunks of random size, a quarter of them single bytes; fails with a
// read error once `fail_at` bytes have gone, when that is set.
struct ChunkFeed {
  const Bytes* bytes = nullptr;
  size_t position = 0;
  size_t fail_at = SIZE_MAX;
  std::mt19937 rng{1};

  static ptrdiff_t read(void* user, void* buffer, size_t size) {
    auto& feed = *static_cast<ChunkFeed*>(user);
    if (feed.position >= feed.fail_at) return -1;
    const size_t chunk = feed.rng() % 4 == 0 ? 1 : 1 + feed.rng() % 3000;
    const size_t count = std::min({size, chunk, feed.bytes->size() - feed.position, feed.fail_at - feed.position});
    if (count != 0) std::memcpy(buffer, feed.bytes->data() + feed.position, count);
    feed.position += count;
    return static_cast<ptrdiff_t>(count);
  }
};

// Everything one decode of a whole source gave.
struct Decode {
  int open_status = MPEGAUDIO_OK;
  int end_status = MPEGAUDIO_END;
  mpegaudio_info info{};
  std::vector<float> samples;
  std::vector<uint64_t> offsets;  // byte offset of every frame
  std::vector<uint32_t> flags;    // flags of every frame
  int32_t changed_rate = 0;
};

Decode decode(const Bytes& bytes, Source source, unsigned flags, size_t fail_at = SIZE_MAX) {
  Decode run;
  mpegaudio_decoder* decoder = mpegaudio_new();
  const TempFile file(bytes);
  ChunkFeed feed;
  feed.bytes = &bytes;
  feed.fail_at = fail_at;
  switch (source) {
    case Source::kFile:
      run.open_status = mpegaudio_open_file(decoder, file.path(), flags);
      break;
    case Source::kMemory:
      run.open_status = mpegaudio_open_memory(decoder, bytes.data(), bytes.size(), flags);
      break;
    case Source::kStream:
      run.open_status = mpegaudio_open_stream(decoder, &ChunkFeed::read, &feed, flags);
      break;
  }
  if (run.open_status == MPEGAUDIO_OK) {
    EXPECT_EQ(mpegaudio_get_info(decoder, &run.info), MPEGAUDIO_OK);
    mpegaudio_frame frame{};
    int status = MPEGAUDIO_OK;
    while ((status = mpegaudio_decode(decoder, &frame)) == MPEGAUDIO_OK) {
      EXPECT_EQ(frame.position, run.samples.size() / static_cast<size_t>(run.info.channels));
      EXPECT_EQ(frame.channels, run.info.channels);
      run.samples.insert(run.samples.end(), frame.samples, frame.samples + frame.sample_count * frame.channels);
      run.offsets.push_back(frame.byte_offset);
      run.flags.push_back(frame.flags);
    }
    run.end_status = status;
    run.changed_rate = mpegaudio_changed_rate(decoder);
    EXPECT_EQ(mpegaudio_decode(decoder, &frame), status) << "the end is lasting";
  }
  mpegaudio_delete(decoder);
  return run;
}

// The same samples bit for bit.
bool same_bits(const std::vector<float>& a, const std::vector<float>& b) {
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0);
}

// Two runs deliver the same: status, format, frames and samples bit for bit.
void expect_same(const Decode& a, const Decode& b) {
  ASSERT_EQ(a.open_status, b.open_status);
  EXPECT_EQ(a.end_status, b.end_status);
  EXPECT_EQ(a.info.sample_rate, b.info.sample_rate);
  EXPECT_EQ(a.info.channels, b.info.channels);
  EXPECT_EQ(a.offsets, b.offsets);
  EXPECT_EQ(a.flags, b.flags);
  EXPECT_EQ(a.changed_rate, b.changed_rate);
  EXPECT_EQ(a.samples.size(), b.samples.size());
  EXPECT_TRUE(same_bits(a.samples, b.samples));
}

// A file, memory and a stream agree; so do the file and memory with the walk over the headers
// (which a stream never has), and the walk's counts are what decoding delivers.
void expect_sources_agree(const Bytes& bytes) {
  const Decode file = decode(bytes, Source::kFile, MPEGAUDIO_NO_WALK);
  expect_same(file, decode(bytes, Source::kMemory, MPEGAUDIO_NO_WALK));
  const Decode stream = decode(bytes, Source::kStream, 0);
  expect_same(file, stream);
  if (stream.open_status == MPEGAUDIO_OK) {
    EXPECT_EQ(stream.info.frames, -1);
    EXPECT_EQ(stream.info.samples, -1);
  }
  const Decode walked = decode(bytes, Source::kFile, 0);
  expect_same(walked, decode(bytes, Source::kMemory, 0));
  if (walked.open_status == MPEGAUDIO_OK) {
    EXPECT_EQ(walked.info.exact, 1);
    EXPECT_EQ(walked.info.frames, static_cast<int64_t>(walked.offsets.size()));
    EXPECT_EQ(walked.info.samples, static_cast<int64_t>(walked.samples.size() / walked.info.channels));
  }
}

Bytes read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(ApiSources, AgreeOnTheConformanceStreamsAndDecodeAsTheModule) {
  std::vector<conformance::StreamEntry> entries;
  const std::string dir = conformance::directory();
  if (!conformance::read_manifest(dir, entries)) {
    if (conformance::required()) FAIL() << "no conformance streams in " << dir;
    GTEST_SKIP() << "no conformance streams in " << dir;
  }
  for (const auto& entry : entries) {
    SCOPED_TRACE(entry.stream);
    const std::string path = dir + "/" + entry.stream;
    expect_sources_agree(read_bytes(path));
    // The API's file decode is the decoder context's, which the module uses.
    const conformance::Decoded module = conformance::decode_file(path);
    const Decode api = decode(read_bytes(path), Source::kFile, 0);
    EXPECT_EQ(api.samples.size(), module.samples.size());
    EXPECT_TRUE(same_bits(api.samples, module.samples));
    EXPECT_EQ(api.info.channels, module.channels);
  }
}

// Files as encoders write them: an information frame with the encoder's delay and padding
// first, tags at both ends. Without trimming, whole frames come.
TEST(ApiSources, AgreeOnEncodedFilesWithTagsAndTrimAsTold) {
  if (!test_support::have_tool("lame")) GTEST_SKIP() << "SKIPPED LOUDLY: lame is not installed";
  const TempFile wav_file(Bytes{});
  const std::string wav = std::string(wav_file.path()) + ".wav", mp3 = std::string(wav_file.path()) + ".mp3";
  constexpr uint32_t kSamples = 30000;
  const struct {
    const char* options;
    uint32_t channels;
    bool exact;  // not resampled: the source's length comes out
  } cases[] = {{"-b 128 --add-id3v2 --tt Title --ta Artist", 2, true},
               {"-V 4", 2, true},
               {"-m m --resample 11.025 -V 5", 1, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    ASSERT_TRUE(test_support::write_test_wav(wav, 44100, c.channels, kSamples));
    ASSERT_TRUE(test_support::lame_encode(wav, mp3, c.options));
    const Bytes bytes = read_bytes(mp3);
    expect_sources_agree(bytes);
    const Decode trimmed = decode(bytes, Source::kStream, 0);
    const Decode whole = decode(bytes, Source::kMemory, MPEGAUDIO_NO_GAPLESS);
    EXPECT_GT(trimmed.info.encoder_delay, 0);
    if (c.exact) {
      EXPECT_EQ(trimmed.samples.size(), size_t{kSamples} * c.channels);
    }
    EXPECT_EQ(whole.info.samples * c.channels, static_cast<int64_t>(whole.samples.size()));
    EXPECT_EQ(whole.samples.size() % (c.channels * 576), 0u);
    EXPECT_GT(whole.samples.size(), trimmed.samples.size());
  }
  std::remove(wav.c_str());
  std::remove(mp3.c_str());
}

class ApiSourcesOnHostileBytes : public ::testing::TestWithParam<hostile::Fixture> {};

TEST_P(ApiSourcesOnHostileBytes, Agree) { expect_sources_agree(GetParam().bytes); }

INSTANTIATE_TEST_SUITE_P(Generated, ApiSourcesOnHostileBytes, ::testing::ValuesIn(hostile::fixtures()),
                         hostile::FixtureName());

// Tags after the audio, which a stream can only recognise in the bytes it holds back, and a
// last frame cut short in front of them (decoding the tag as its body would be wrong).
TEST(ApiSources, AgreeOnTrailingTags) {
  const Bytes frames = hostile::detail::stream_of(hostile::detail::layer2_header(), 5, 0x5A, 3);
  Bytes cut = frames;
  cut.resize(frames.size() - 200);
  Bytes id3v1 = {'T', 'A', 'G'};
  id3v1.resize(128, 0xFF);
  Bytes ape;  // an APE tag with a header: 32 + items + 32
  for (int part = 0; part < 2; ++part) {
    hostile::detail::append_text(ape, "APETAGEX");
    hostile::detail::append_le32(ape, 2000);
    hostile::detail::append_le32(ape, 200 - 32);
    hostile::detail::append_le32(ape, 1);
    hostile::detail::append_le32(ape, part == 0 ? 0xA0000000u : 0x80000000u);
    ape.resize(ape.size() + 8, 0);
    if (part == 0) ape.resize(ape.size() + 200 - 64, 0xFF);
  }
  Bytes id3v2 = {'3', 'D', 'I', 4, 0, 0x10, 0, 0, 1, 0};  // a footer: 128 bytes of frames
  Bytes appended = {'I', 'D', '3', 4, 0, 0x10, 0, 0, 1, 0};
  appended.resize(10 + 128, 0xFF);
  bitstream_test::append(appended, id3v2);
  Bytes long_ape = ape;  // longer than a stream holds back: cut from where it can be
  long_ape.insert(long_ape.begin() + 32, 6000, 0x00);
  for (const size_t size_field : {size_t{12}, long_ape.size() - 20}) {
    long_ape[size_field] = static_cast<uint8_t>(6168 & 0xFF);  // 168 + 6000
    long_ape[size_field + 1] = static_cast<uint8_t>(6168 >> 8);
  }
  const struct {
    const char* name;
    const Bytes* audio;
    std::vector<const Bytes*> tags;
  } cases[] = {
      {"id3v1", &frames, {&id3v1}},
      {"ape_then_id3v1", &frames, {&ape, &id3v1}},
      {"appended_id3v2", &frames, {&appended}},
      {"cut_frame_then_id3v1", &cut, {&id3v1}},
      {"cut_frame_then_ape_then_id3v1", &cut, {&ape, &id3v1}},
      {"long_ape", &frames, {&long_ape}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes bytes = *c.audio;
    for (const Bytes* tag : c.tags) bitstream_test::append(bytes, *tag);
    expect_sources_agree(bytes);
  }
}

TEST(ApiRefusals, ComeBackAsStatusesWithMessages) {
  const Bytes good = hostile::detail::silent_layer2(3);
  Bytes reserved = good;
  reserved[2] |= 0x0C;  // sampling-frequency index 3 in every frame
  const size_t frame_bytes = bitstream_test::frame_length(hostile::detail::layer2_header());
  for (size_t at = frame_bytes; at < reserved.size(); at += frame_bytes) reserved[at + 2] |= 0x0C;
  const Bytes junk(4000, 0x11);
  const TempFile good_file(good);
  const std::string missing = "/nonexistent-mpegin-dir/missing.mp2";
  ChunkFeed failing;
  failing.bytes = &good;
  failing.fail_at = 100;  // before the first frame is confirmed

  mpegaudio_decoder* d = mpegaudio_new();
  mpegaudio_info info{};
  mpegaudio_frame frame{};
  const struct {
    const char* name;
    int (*call)(mpegaudio_decoder*, void*);
    void* arg;
    int status;
    std::string message;
  } cases[] = {
      {"decode before open", [](mpegaudio_decoder* d, void* f) { return mpegaudio_decode(d, static_cast<mpegaudio_frame*>(f)); }, &frame, MPEGAUDIO_NOT_OPEN, "not open"},
      {"info before open", [](mpegaudio_decoder* d, void* i) { return mpegaudio_get_info(d, static_cast<mpegaudio_info*>(i)); }, &info, MPEGAUDIO_NOT_OPEN, "not open"},
      {"null path", [](mpegaudio_decoder* d, void*) { return mpegaudio_open_file(d, nullptr, 0); }, nullptr, MPEGAUDIO_INVALID_ARGUMENT, "invalid argument"},
      {"missing file", [](mpegaudio_decoder* d, void* p) { return mpegaudio_open_file(d, static_cast<const char*>(p), 0); }, const_cast<char*>(missing.c_str()), MPEGAUDIO_CANNOT_OPEN, "Error opening file: " + missing},
      {"unknown flag", [](mpegaudio_decoder* d, void* p) { return mpegaudio_open_file(d, static_cast<const char*>(p), 0x100); }, const_cast<char*>(good_file.path()), MPEGAUDIO_INVALID_ARGUMENT, "invalid argument"},
      {"null memory", [](mpegaudio_decoder* d, void*) { return mpegaudio_open_memory(d, nullptr, 10, 0); }, nullptr, MPEGAUDIO_INVALID_ARGUMENT, "invalid argument"},
      {"junk", [](mpegaudio_decoder* d, void* b) { auto& bytes = *static_cast<const Bytes*>(b); return mpegaudio_open_memory(d, bytes.data(), bytes.size(), 0); }, const_cast<Bytes*>(&junk), MPEGAUDIO_NO_AUDIO, "No MPEG audio found"},
      {"reserved rate", [](mpegaudio_decoder* d, void* b) { auto& bytes = *static_cast<const Bytes*>(b); return mpegaudio_open_memory(d, bytes.data(), bytes.size(), 0); }, &reserved, MPEGAUDIO_UNKNOWN_SAMPLE_FREQUENCY, "Unknown sample frequency!"},
      {"null callback", [](mpegaudio_decoder* d, void*) { return mpegaudio_open_stream(d, nullptr, nullptr, 0); }, nullptr, MPEGAUDIO_INVALID_ARGUMENT, "invalid argument"},
      {"failing callback", [](mpegaudio_decoder* d, void* f) { return mpegaudio_open_stream(d, &ChunkFeed::read, f, 0); }, &failing, MPEGAUDIO_READ_ERROR, "Error reading the stream"},
      {"open", [](mpegaudio_decoder* d, void* p) { return mpegaudio_open_file(d, static_cast<const char*>(p), 0); }, const_cast<char*>(good_file.path()), MPEGAUDIO_OK, ""},
      {"open again", [](mpegaudio_decoder* d, void* p) { return mpegaudio_open_file(d, static_cast<const char*>(p), 0); }, const_cast<char*>(good_file.path()), MPEGAUDIO_ALREADY_OPEN, "already open"},
      {"null frame", [](mpegaudio_decoder* d, void*) { return mpegaudio_decode(d, nullptr); }, nullptr, MPEGAUDIO_INVALID_ARGUMENT, "invalid argument"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(c.call(d, c.arg), c.status);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(mpegaudio_message(d), c.message);
  }
  mpegaudio_close(d);
  EXPECT_EQ(mpegaudio_decode(d, &frame), MPEGAUDIO_NOT_OPEN);
  mpegaudio_delete(d);
  mpegaudio_delete(nullptr);
  EXPECT_EQ(mpegaudio_decode(nullptr, &frame), MPEGAUDIO_INVALID_ARGUMENT);
  EXPECT_EQ(mpegaudio_api_version(), MPEGAUDIO_API_VERSION);
}

TEST(ApiRefusals, AStreamThatFailsAfterItsFirstFramesEndsWithAReadError) {
  const Bytes bytes = hostile::detail::silent_layer2(20);
  const Decode run = decode(bytes, Source::kStream, 0, 10 * 522 + 100);
  ASSERT_EQ(run.open_status, MPEGAUDIO_OK);
  EXPECT_EQ(run.end_status, MPEGAUDIO_READ_ERROR);
  EXPECT_EQ(run.offsets.size(), 10u);  // every frame that came whole
}

// A stream's first samples come once its first frames are there, not after a buffer's worth:
// two frames (the first confirmed by the second's header, the second read ahead) and the bytes
// held back for tags at the end.
TEST(ApiStream, DeliversAFrameSoonAfterItArrives) {
  const Bytes bytes = hostile::detail::silent_layer2(40);
  struct Trickle {
    const Bytes* bytes;
    size_t position = 0;
    static ptrdiff_t read(void* user, void* buffer, size_t size) {
      auto& t = *static_cast<Trickle*>(user);
      if (size == 0 || t.position == t.bytes->size()) return 0;
      static_cast<uint8_t*>(buffer)[0] = (*t.bytes)[t.position++];
      return 1;
    }
  } trickle{&bytes};
  mpegaudio_decoder* d = mpegaudio_new();
  ASSERT_EQ(mpegaudio_open_stream(d, &Trickle::read, &trickle, 0), MPEGAUDIO_OK);
  mpegaudio_frame frame{};
  ASSERT_EQ(mpegaudio_decode(d, &frame), MPEGAUDIO_OK);
  EXPECT_EQ(frame.sample_count, 1152u);
  const size_t frame_bytes = bitstream_test::frame_length(hostile::detail::layer2_header());
  EXPECT_LE(trickle.position, 2 * frame_bytes + 4 + StreamSource::kHeldBytes);
  mpegaudio_delete(d);
}

// The frame flags come from what decoding met: a change of the channel count, a frame that
// failed its check word (the first frame is decoded without a check).
TEST(ApiFrames, FlagTheFormatChangeAndTheConcealedFrames) {
  hostile::HeaderBits mono = hostile::detail::layer2_header();
  mono.mode = 3;
  Bytes changing = hostile::detail::silent_layer2(3);
  bitstream_test::append(changing, hostile::detail::stream_of(mono, 3, 0x00, 0));
  Bytes wrong_checks;
  for (const hostile::Fixture& f : hostile::fixtures())
    if (f.name == "wrong_check_words_layer2_zeros") wrong_checks = f.bytes;
  constexpr uint32_t kConcealed = MPEGAUDIO_FRAME_CONCEALED;
  const struct {
    const char* name;
    const Bytes* bytes;
    std::vector<uint32_t> flags;
  } cases[] = {
      {"stereo then mono", &changing, {0, 0, 0, MPEGAUDIO_FRAME_FORMAT_CHANGE, 0, 0}},
      {"wrong check words", &wrong_checks, {0, kConcealed, kConcealed, kConcealed, kConcealed, kConcealed}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(decode(*c.bytes, Source::kMemory, 0).flags, c.flags);
  }
}

// What get_info and the frames tell of a plain stream.
TEST(ApiInfo, DescribesTheStreamAndItsFrames) {
  const Bytes bytes = hostile::detail::silent_layer2(6);
  const Decode run = decode(bytes, Source::kMemory, 0);
  ASSERT_EQ(run.open_status, MPEGAUDIO_OK);
  EXPECT_EQ(run.info.sample_rate, 44100);
  EXPECT_EQ(run.info.channels, 2);
  EXPECT_EQ(run.info.layer, 2);
  EXPECT_EQ(run.info.version, 1);
  EXPECT_EQ(run.info.bitrate, 160000);
  EXPECT_EQ(run.info.frames, 6);
  EXPECT_EQ(run.info.samples, 6 * 1152);
  EXPECT_EQ(run.offsets, (std::vector<uint64_t>{0, 522, 1044, 1566, 2088, 2610}));
  EXPECT_EQ(run.end_status, MPEGAUDIO_END);
}

// The C++ wrapper is the C interface: the same samples, and a moved-from object refuses.
TEST(ApiCpp, TheWrapperDecodesAsTheCInterface) {
  const Bytes bytes = hostile::detail::stream_of(hostile::detail::layer2_header(), 8, 0x5A, 9);
  const Decode c = decode(bytes, Source::kMemory, 0);
  mpegaudio::Decoder first;
  ASSERT_EQ(first.open_memory(bytes.data(), bytes.size()), MPEGAUDIO_OK);
  mpegaudio::Decoder decoder(std::move(first));
  std::vector<float> samples;
  for (mpegaudio_frame f{}; decoder.decode(f) == MPEGAUDIO_OK;)
    samples.insert(samples.end(), f.samples, f.samples + f.sample_count * f.channels);
  EXPECT_TRUE(same_bits(samples, c.samples));
  mpegaudio_frame frame{};
  EXPECT_EQ(first.decode(frame), MPEGAUDIO_INVALID_ARGUMENT);
}

}  // namespace
}  // namespace mpegin
