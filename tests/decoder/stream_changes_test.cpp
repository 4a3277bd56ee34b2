// Irregular streams built from the ISO compliance streams: joined files whose channel count,
// layer or rate changes, damaged frames, cut Layer III streams. Every frame keeps its place,
// and what follows a change decodes exactly as the same stream on its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bitstream/crc16.h"
#include "bitstream/frame_header.h"
#include "bitstream/mpeg_file_reader.h"
#include "bitstream/test_stream.h"
#include "support/frame_builder.h"
#include "support/frame_starts.h"
#include "decoder/decoder_context.h"
#include "support/conformance.h"

namespace mpegin {
namespace {

using bitstream_test::TempFile;
using bitstream_test::Bytes;
using test_support::frame_starts;

struct Decoded {
  StreamInfo info{};
  uint64_t frames = 0;        // the context's frame count
  uint64_t reads = 0;         // reads that delivered samples
  std::vector<float> samples; // interleaved
  int32_t changed_rate = 0;
};

Decoded decode(const std::string& path, bool walk = true) {
  Decoded out;
  DecoderContext context;
  EXPECT_EQ(context.open(path.c_str(), walk), 1) << path;
  context.describe(out.info);
  out.frames = context.frame_count();
  const float* samples = nullptr;
  while (const uint32_t bytes = context.decode_next_samples(samples)) {
    ++out.reads;
    out.samples.insert(out.samples.end(), samples, samples + bytes / 4);
  }
  out.changed_rate = context.changed_rate();
  return out;
}

Bytes read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The compliance streams by name, or skip (fail where they are required).
#define REQUIRE_STREAMS(...)                                                            \
  for (const char* name : {__VA_ARGS__}) {                                              \
    if (!std::filesystem::exists(conformance::directory() + "/" + name)) {              \
      if (conformance::required()) FAIL() << "ISO compliance stream missing: " << name; \
      GTEST_SKIP() << "*** ISO compliance stream " << name << " not found in "          \
                   << conformance::directory() << ": set MPEG_CONFORMANCE_DIR ***";     \
    }                                                                                   \
  }

std::string stream(const std::string& name) { return conformance::directory() + "/" + name; }

// Channel c of interleaved samples with `channels` channels.
std::vector<float> channel(const std::vector<float>& samples, int channels, int c, size_t from = 0) {
  std::vector<float> out;
  for (size_t i = from + c; i < samples.size(); i += channels) out.push_back(samples[i]);
  return out;
}

float max_difference(const std::vector<float>& a, const std::vector<float>& b) {
  float m = a.size() == b.size() ? 0.0f : INFINITY;
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) m = std::max(m, std::fabs(a[i] - b[i]));
  return m;
}

struct Join {
  const char* first;
  const char* second;
  bool rate_changes;
  bool tag_between = false;  // the second file begins with an ID3v2 tag
};

class JoinedStreams : public ::testing::TestWithParam<Join> {};

TEST_P(JoinedStreams, EachPartDecodesAsOnItsOwn) {
  const Join& j = GetParam();
  REQUIRE_STREAMS(j.first, j.second);
  Bytes joined = read_bytes(stream(j.first));
  if (j.tag_between) {
    Bytes tag_data(700, 0xFF);  // sync patterns all through it
    bitstream_test::append(joined, test_support::id3v2_tag(3, 0, tag_data));
  }
  bitstream_test::append(joined, read_bytes(stream(j.second)));
  TempFile file(joined);
  const Decoded first = decode(stream(j.first));
  const Decoded second = decode(stream(j.second));
  const Decoded got = decode(file.path());

  if (j.rate_changes) {
    // The stream ends at the change: nothing of the second part is decoded at the first rate.
    EXPECT_EQ(got.changed_rate, second.info.sample_rate);
    EXPECT_EQ(got.frames, first.frames);
    EXPECT_EQ(got.samples, first.samples);
    return;
  }
  const int channels = std::max(first.info.channel_count, second.info.channel_count);
  EXPECT_EQ(got.info.channel_count, channels);
  EXPECT_EQ(got.changed_rate, 0);
  EXPECT_EQ(got.frames, first.frames + second.frames);
  EXPECT_EQ(got.reads, got.frames);
  const size_t split = first.samples.size() / first.info.channel_count * channels;
  ASSERT_EQ(got.samples.size(), split + second.samples.size() / second.info.channel_count * channels);
  // A one-channel part fills both output channels with its samples, exactly.
  for (int c = 0; c < channels; ++c) {
    const std::vector<float> head(got.samples.begin(), got.samples.begin() + split);
    EXPECT_EQ(channel(head, channels, c), channel(first.samples, first.info.channel_count,
                                                  std::min(c, first.info.channel_count - 1)))
        << "first part, channel " << c;
    EXPECT_EQ(channel(got.samples, channels, c, split),
              channel(second.samples, second.info.channel_count, std::min(c, second.info.channel_count - 1)))
        << "second part, channel " << c;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Joins, JoinedStreams,
    ::testing::Values(Join{"l3-hecommon.bit", "l3-si.bit", false},     // Layer III stereo -> mono
                      Join{"l3-si.bit", "l3-hecommon.bit", false},     // Layer III mono -> stereo
                      Join{"l2-fl11.bit", "l3-si.bit", false},         // Layer II -> Layer III mono
                      Join{"l2-fl10.bit", "l2-fl13.bit", false},       // Layer II stereo -> mono
                      Join{"l1-fl4.bit", "l2-fl10.bit", false},        // Layer I mono -> Layer II
                      Join{"l2-fl10.bit", "l2-fl13.bit", false, true},
                      Join{"l3-hecommon.bit", "l3-he_48khz.bit", true},  // 44.1 -> 48 kHz
                      Join{"l2-fl11.bit", "l2-test32.bit", true},        // 44.1 -> 24 kHz LSF
                      Join{"l3-hecommon.bit", "l3-he_48khz.bit", true, true}));

TEST(JoinedStreamsWithoutWalk, TheFirstChannelCountHoldsAndStereoIsMixedDown) {
  REQUIRE_STREAMS("l3-si.bit", "l3-hecommon.bit", "l2-fl13.bit", "l2-fl10.bit");
  for (const auto& [mono, stereo] : {std::pair{"l3-si.bit", "l3-hecommon.bit"},
                                     std::pair{"l2-fl13.bit", "l2-fl10.bit"}}) {
    Bytes joined = read_bytes(stream(mono));
    bitstream_test::append(joined, read_bytes(stream(stereo)));
    TempFile file(joined);
    const Decoded first = decode(stream(mono));
    const Decoded second = decode(stream(stereo));
    const Decoded got = decode(file.path(), false);
    EXPECT_EQ(got.info.channel_count, 1) << stereo;
    ASSERT_EQ(got.samples.size(), first.samples.size() + second.samples.size() / 2) << stereo;
    std::vector<float> mixed;
    for (size_t i = 0; i < second.samples.size(); i += 2)
      mixed.push_back((second.samples[i] + second.samples[i + 1]) * 0.5f);
    const std::vector<float> tail(got.samples.begin() + first.samples.size(), got.samples.end());
    EXPECT_LT(max_difference(tail, mixed), 1e-6f) << stereo;
  }
}

// Runs of ten frames that switch between one and two channels (single channel, then stereo
// and joint stereo with its extensions): every frame is decoded, into two channels.
TEST(ModeChanges, EveryFrameOfRunsOfTenIsDecoded) {
  REQUIRE_STREAMS("l2-fl13.bit", "l2-fl10.bit");
  const Bytes mono = read_bytes(stream("l2-fl13.bit"));
  const Bytes stereo = read_bytes(stream("l2-fl10.bit"));
  const std::vector<size_t> mono_starts = frame_starts(stream("l2-fl13.bit"));
  const std::vector<size_t> stereo_starts = frame_starts(stream("l2-fl10.bit"));
  Bytes mixed;
  for (size_t run = 0; run < 4; ++run) {
    const Bytes& from = run % 2 == 0 ? mono : stereo;
    const std::vector<size_t>& starts = run % 2 == 0 ? mono_starts : stereo_starts;
    mixed.insert(mixed.end(), from.begin() + static_cast<long>(starts[10 * run]),
                 from.begin() + static_cast<long>(starts[10 * run + 10]));
  }
  TempFile file(mixed);
  const Decoded got = decode(file.path());
  EXPECT_EQ(got.info.channel_count, 2);
  EXPECT_EQ(got.frames, 40u);
  EXPECT_EQ(got.reads, 40u);
  EXPECT_EQ(got.samples.size(), 40u * 1152 * 2);
}

// A damaged frame on each layer: the stream keeps its length, and three frames later (once the
// filter banks have passed over the stand-in) the output is the undamaged one again.
TEST(DamagedFrames, ConcealedInPlaceAndTheRestDecodesAsIntact) {
  struct Case {
    const char* name;
    size_t flip_at;  // in the body of frame 10: an allocation or side information byte
  };
  const Case cases[] = {{"l1-fl1.bit", 8}, {"l2-fl10.bit", 8}, {"l3-hecommon.bit", 10}};
  for (const Case& c : cases) {
    REQUIRE_STREAMS(c.name);
    Bytes bytes = read_bytes(stream(c.name));
    const std::vector<size_t> starts = frame_starts(stream(c.name));
    ASSERT_GT(starts.size(), 13u);
    const size_t frame = starts[10];
    bytes[frame + 4 + c.flip_at] ^= 0x5A;
    TempFile file(bytes);
    const Decoded intact = decode(stream(c.name));
    const Decoded got = decode(file.path());
    ASSERT_EQ(got.samples.size(), intact.samples.size()) << c.name;
    const size_t per_frame = intact.samples.size() / intact.reads;
    EXPECT_NE(max_difference(std::vector<float>(got.samples.begin() + 10 * per_frame, got.samples.begin() + 11 * per_frame),
                             std::vector<float>(intact.samples.begin() + 10 * per_frame, intact.samples.begin() + 11 * per_frame)),
              0.0f) << c.name << ": the damage should show";
    EXPECT_EQ(std::vector<float>(got.samples.begin(), got.samples.begin() + 10 * per_frame),
              std::vector<float>(intact.samples.begin(), intact.samples.begin() + 10 * per_frame)) << c.name;
    EXPECT_EQ(std::vector<float>(got.samples.begin() + 13 * per_frame, got.samples.end()),
              std::vector<float>(intact.samples.begin() + 13 * per_frame, intact.samples.end())) << c.name;
  }
}

// An encoder that writes wrong check words into every Layer III frame: none ever passes, so
// none is held against its frame.
TEST(DamagedFrames, LayerThreeCheckWordsThatNeverPassAreIgnored) {
  REQUIRE_STREAMS("l3-hecommon.bit");
  Bytes bytes = read_bytes(stream("l3-hecommon.bit"));
  for (size_t start : frame_starts(stream("l3-hecommon.bit")))
    if (start + 6 <= bytes.size() && (bytes[start + 1] & 1) == 0) bytes[start + 4] ^= 0x21;
  TempFile file(bytes);
  EXPECT_EQ(decode(file.path()).samples, decode(stream("l3-hecommon.bit")).samples);
}

// A Layer III stream cut in the middle: its first frames reach back to main data that is not
// in the file; they are concealed, so the file keeps its frame count, and from the third frame
// after the first decodable one the output is that of the whole stream.
TEST(CutLayerThreeStream, EveryFrameYieldsItsSamples) {
  REQUIRE_STREAMS("l3-hecommon.bit");
  const Bytes whole = read_bytes(stream("l3-hecommon.bit"));
  const Decoded intact = decode(stream("l3-hecommon.bit"));
  // 128 kbit/s at 44.1 kHz: frames of 417 or 418 bytes; cut at the header of frame 12.
  size_t at = 12 * 417;
  while (!(whole[at] == 0xFF && (whole[at + 1] & 0xF0) == 0xF0)) ++at;
  TempFile file(Bytes(whole.begin() + static_cast<long>(at), whole.end()));
  const Decoded got = decode(file.path());
  ASSERT_EQ(got.reads, intact.reads - 12);
  EXPECT_EQ(got.frames, got.reads);
  const size_t per_frame = 2 * 1152;
  ASSERT_EQ(got.samples.size(), got.reads * per_frame);
  EXPECT_EQ(std::vector<float>(got.samples.begin() + 4 * per_frame, got.samples.end()),
            std::vector<float>(intact.samples.begin() + 16 * per_frame, intact.samples.end()));
}

}  // namespace
}  // namespace mpegin
