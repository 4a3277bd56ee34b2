// The decoder context on small streams built here: frame by frame delivery, the
// check word of protected frames, layer changes, the end of the stream, and the
// open / describe / close life cycle.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>

#include "decoder/decoder_context.h"
#include "support/filter_probe.h"
#include "support/frame_builder.h"

namespace mpegin {
namespace {

using bitstream_test::append;
using bitstream_test::TempFile;
using test_support::Bytes;
using test_support::FrameBuilder;
using test_support::HeaderBits;

constexpr uint32_t kLayer2StereoBytes = 1152 * 2 * 4;
constexpr uint32_t kLayer1StereoBytes = 384 * 2 * 4;
constexpr float kTwoThirds = 0.6666667f;

HeaderBits stereo_header(uint32_t layer, bool protected_frame = false) {
  HeaderBits h;
  h.version = 1;
  h.layer = layer;
  h.sample_frequency = 0;  // 44100 Hz
  h.bitrate_index = layer == 1 ? 8 : (layer == 2 ? 10 : 9);  // 256, 192, 128 kbit/s
  h.mode = 0;
  h.protected_frame = protected_frame;
  return h;
}

// Allocation field width of subband sb in a stereo Layer II frame at 192 kbit/s.
uint32_t layer2_width(int sb) { return sb < 11 ? 4 : (sb < 23 ? 3 : 2); }
constexpr int kLayer2Subbands = 30;
constexpr int kToneBand = 1;

// A stereo Layer II frame at 192 kbit/s, 44.1 kHz (30 subbands): subband 1 carries
// +2/3 in channel 0 (3 levels, code 26, scale factor 1.0) and -1/3 in channel 1
// (code 0, scale factor 0.5); every other subband is uncoded.
Bytes layer2_tone_frame(bool protected_frame = false) {
  FrameBuilder frame(stereo_header(2, protected_frame));
  test_support::BitWriter& body = frame.body();
  for (int sb = 0; sb < kLayer2Subbands; ++sb) {
    const uint32_t allocation = sb == kToneBand ? 1 : 0;
    body.put_checked(allocation, layer2_width(sb)).put_checked(allocation, layer2_width(sb));
  }
  body.put_checked(2, 2).put_checked(2, 2);  // one scale factor per channel
  body.put(3, 6).put(6, 6);
  for (int group = 0; group < 12; ++group) body.put(26, 5).put(0, 5);
  return frame.finish();
}

// A stereo frame whose subbands are all uncoded.
Bytes silent_frame(uint32_t layer) {
  FrameBuilder frame(stereo_header(layer));
  if (layer == 1) frame.body().zeros(32 * 8);  // Layer III: zero side information too
  return frame.finish();
}

// The synthesis of a known sequence of slots, for comparison with what the context
// delivers: the same filters fed the values the frames code.
class ReferenceOutput {
 public:
  void slots(int count, const std::map<int, float>& left, const std::map<int, float>& right) {
    for (int i = 0; i < count; ++i) {
      for (const auto& [sb, v] : left) filter0_.put_sample(sb, v);
      for (const auto& [sb, v] : right) filter1_.put_sample(sb, v);
      filter0_.synthesize(sink_);
      filter1_.synthesize(sink_);
    }
  }
  std::vector<float> interleaved() const {
    std::vector<float> out;
    for (size_t i = 0; i < sink_.channels[0].size(); ++i) {
      out.push_back(sink_.channels[0][i]);
      out.push_back(sink_.channels[1][i]);
    }
    return out;
  }

 private:
  SynthesisFilter filter0_{0};
  SynthesisFilter filter1_{1};
  test_support::RecordingSink sink_;
};

// Decodes frame by frame, keeping each read's byte count and all samples.
struct Decoding {
  std::vector<uint32_t> reads;
  std::vector<float> samples;
};
Decoding decode_all(DecoderContext& context, int max_reads = 20) {
  Decoding out;
  std::vector<float> frame(DecoderContext::kMaxFrameOutputBytes / sizeof(float));
  for (int i = 0; i < max_reads; ++i) {
    const uint32_t bytes = context.decode_next(frame.data());
    out.reads.push_back(bytes);
    out.samples.insert(out.samples.end(), frame.begin(), frame.begin() + bytes / sizeof(float));
    if (bytes == 0 && context.end_of_stream()) break;
  }
  return out;
}

Bytes concat(std::initializer_list<Bytes> frames) {
  Bytes out;
  for (const Bytes& f : frames) append(out, f);
  return out;
}

TEST(DecoderContext, SingleFrameFileDeliversItThenEnds) {
  TempFile file(layer2_tone_frame());
  DecoderContext context;
  ASSERT_EQ(context.open(file.path()), 1);
  EXPECT_TRUE(context.is_open());
  const Decoding got = decode_all(context);
  EXPECT_EQ(got.reads, (std::vector<uint32_t>{kLayer2StereoBytes, 0}));
  EXPECT_TRUE(context.end_of_stream());
  EXPECT_EQ(context.decode_next(nullptr), 0u);

  ReferenceOutput expected;
  expected.slots(36, {{kToneBand, kTwoThirds}}, {{kToneBand, -kTwoThirds * 0.5f}});
  EXPECT_EQ(got.samples, expected.interleaved());
}

// The copy-free read hands out the same frames as the copying one, and nothing at the end.
TEST(DecoderContext, SamplesInPlaceMatchTheCopiedFrames) {
  TempFile file(concat({layer2_tone_frame(), silent_frame(1), layer2_tone_frame()}));
  DecoderContext copying, in_place;
  ASSERT_EQ(copying.open(file.path()), 1);
  ASSERT_EQ(in_place.open(file.path()), 1);
  const Decoding expected = decode_all(copying);
  std::vector<float> got;
  std::vector<uint32_t> reads;
  for (int i = 0; i < 8; ++i) {
    const float* samples = nullptr;
    const uint32_t bytes = in_place.decode_next_samples(samples);
    reads.push_back(bytes);
    if (bytes == 0) {
      EXPECT_EQ(samples, nullptr);
      break;
    }
    got.insert(got.end(), samples, samples + bytes / sizeof(float));
  }
  EXPECT_EQ(reads, expected.reads);
  EXPECT_EQ(got, expected.samples);
}

TEST(DecoderContext, StreamCutShortEndsAfterTheLastWholeFrame) {
  Bytes data = concat({layer2_tone_frame(), layer2_tone_frame(), layer2_tone_frame()});
  data.resize(data.size() - 100);
  TempFile file(data);
  DecoderContext context;
  ASSERT_EQ(context.open(file.path()), 1);
  EXPECT_EQ(decode_all(context).reads,
            (std::vector<uint32_t>{kLayer2StereoBytes, kLayer2StereoBytes, 0}));
}

TEST(DecoderContext, ProtectedFramesPassTheirCheck) {
  TempFile file(concat({layer2_tone_frame(true), layer2_tone_frame(true), layer2_tone_frame(true)}));
  DecoderContext context;
  ASSERT_EQ(context.open(file.path()), 1);
  const Decoding got = decode_all(context);
  EXPECT_EQ(got.reads, (std::vector<uint32_t>{kLayer2StereoBytes, kLayer2StereoBytes,
                                              kLayer2StereoBytes, 0}));
  ReferenceOutput expected;
  expected.slots(3 * 36, {{kToneBand, kTwoThirds}}, {{kToneBand, -kTwoThirds * 0.5f}});
  EXPECT_EQ(got.samples, expected.interleaved());
}

// Flips the last bit of channel 1's allocation of subband 29, uncoded -> coded.
void corrupt_last_allocation(Bytes& frame) {
  uint32_t bit = 0;
  for (int sb = 0; sb < kLayer2Subbands; ++sb) bit += 2 * layer2_width(sb);
  bit -= 1;
  const size_t byte = 6 + bit / 8;  // after the header and the check word
  frame[byte] ^= static_cast<uint8_t>(0x80 >> (bit % 8));
}

TEST(DecoderContext, FrameFailingItsCheckIsConcealedInItsPlace) {
  Bytes damaged = layer2_tone_frame(true);
  corrupt_last_allocation(damaged);
  TempFile file(concat({layer2_tone_frame(true), damaged, layer2_tone_frame(true)}));
  DecoderContext context;
  ASSERT_EQ(context.open(file.path()), 1);
  const Decoding got = decode_all(context);
  EXPECT_EQ(got.reads, (std::vector<uint32_t>{kLayer2StereoBytes, kLayer2StereoBytes,
                                              kLayer2StereoBytes, 0}));
  // The damaged frame repeats the first one's subband samples 6 dB quieter.
  ReferenceOutput expected;
  expected.slots(36, {{kToneBand, kTwoThirds}}, {{kToneBand, -kTwoThirds * 0.5f}});
  expected.slots(36, {{kToneBand, kTwoThirds * 0.5f}}, {{kToneBand, -kTwoThirds * 0.25f}});
  expected.slots(36, {{kToneBand, kTwoThirds}}, {{kToneBand, -kTwoThirds * 0.5f}});
  EXPECT_EQ(got.samples, expected.interleaved());
}

TEST(DecoderContext, FirstFrameIsDecodedUnchecked) {
  Bytes damaged = layer2_tone_frame(true);
  corrupt_last_allocation(damaged);
  TempFile file(concat({damaged, damaged}));
  DecoderContext context;
  ASSERT_EQ(context.open(file.path()), 1);
  // The second, checked, frame fails (and is concealed); it is also the last.
  EXPECT_EQ(decode_all(context).reads,
            (std::vector<uint32_t>{kLayer2StereoBytes, kLayer2StereoBytes, 0}));
  EXPECT_TRUE(context.end_of_stream());
}

TEST(DecoderContext, FollowsLayerChangesWithinAFile) {
  TempFile file(concat({silent_frame(2), silent_frame(3), silent_frame(2), silent_frame(1),
                        silent_frame(3), layer2_tone_frame()}));
  DecoderContext context;
  ASSERT_EQ(context.open(file.path()), 1);
  const Decoding got = decode_all(context);
  EXPECT_EQ(got.reads,
            (std::vector<uint32_t>{kLayer2StereoBytes, kLayer2StereoBytes, kLayer2StereoBytes,
                                   kLayer1StereoBytes, kLayer2StereoBytes, kLayer2StereoBytes, 0}));
  // All silent up to the last frame, whose samples follow the silence in the same filters.
  ReferenceOutput expected;
  expected.slots(4 * 36 + 12, {}, {});
  expected.slots(36, {{kToneBand, kTwoThirds}}, {{kToneBand, -kTwoThirds * 0.5f}});
  EXPECT_EQ(got.samples, expected.interleaved());
}

TEST(DecoderContext, OpensOnALayer3StreamAndChangesToLayer2) {
  TempFile file(concat({silent_frame(3), layer2_tone_frame()}));
  DecoderContext context;
  ASSERT_EQ(context.open(file.path()), 1);
  EXPECT_EQ(decode_all(context).reads,
            (std::vector<uint32_t>{kLayer2StereoBytes, kLayer2StereoBytes, 0}));
}

// Joint stereo, mode extension 0: subbands 0..3 carry two allocations, 4..31 one.
// Subband 2 codes channel 1 only; subband 10 is intensity coded with scale factors
// 1.0 and 0.5. Samples alternate between the codes 2 and 0 (+2/3 and -2/3).
TEST(DecoderContext, JointStereoLayer1WithBoundFour) {
  HeaderBits h = stereo_header(1);
  h.mode = 1;
  h.mode_extension = 0;
  FrameBuilder frame(h);
  test_support::BitWriter& body = frame.body();
  for (int sb = 0; sb < 4; ++sb) body.put(0, 4).put(sb == 2 ? 1 : 0, 4);
  for (int sb = 4; sb < 32; ++sb) body.put(sb == 10 ? 1 : 0, 4);
  body.put(3, 6);           // subband 2, channel 1
  body.put(3, 6).put(6, 6);  // subband 10, both channels
  for (int slot = 0; slot < 12; ++slot) {
    const uint32_t code = slot % 2 == 0 ? 2 : 0;
    body.put(code, 2).put(code, 2);
  }
  TempFile file(frame.finish());
  DecoderContext context;
  ASSERT_EQ(context.open(file.path()), 1);
  const Decoding got = decode_all(context);
  EXPECT_EQ(got.reads, (std::vector<uint32_t>{kLayer1StereoBytes, 0}));

  ReferenceOutput expected;
  for (int slot = 0; slot < 12; ++slot) {
    const float v = slot % 2 == 0 ? kTwoThirds : -kTwoThirds;
    expected.slots(1, {{10, v}}, {{2, v}, {10, v * 0.5f}});
  }
  EXPECT_EQ(got.samples, expected.interleaved());
}

TEST(DecoderContext, SingleChannelLayer1FrameOfSilence) {
  HeaderBits h = stereo_header(1);
  h.mode = 3;
  FrameBuilder frame(h);
  frame.body().zeros(32 * 4);
  TempFile file(concat({frame.finish(), frame.finish()}));
  DecoderContext context;
  ASSERT_EQ(context.open(file.path()), 1);
  StreamInfo info{};
  ASSERT_EQ(context.describe(info), 1);
  EXPECT_EQ(info.channel_count, 1);
  const Decoding got = decode_all(context);
  EXPECT_EQ(got.reads, (std::vector<uint32_t>{384 * 4, 384 * 4, 0}));
  EXPECT_EQ(got.samples, std::vector<float>(2 * 384, 0.0f));
}

TEST(DecoderContext, DescribesTheStreamWhileOpenOnly) {
  TempFile file(concat({layer2_tone_frame(true), layer2_tone_frame(true)}));
  DecoderContext context;
  StreamInfo info;
  std::memset(&info, 0x5A, sizeof info);
  EXPECT_EQ(context.describe(info), 0);
  ASSERT_EQ(context.open(file.path()), 1);
  ASSERT_EQ(context.describe(info), 1);
  EXPECT_EQ(info.sample_rate, 44100);
  EXPECT_EQ(info.channel_count, 2);
  EXPECT_EQ(info.mode, 0);
  EXPECT_EQ(info.layer, 2);
  EXPECT_EQ(info.version, 1);
  EXPECT_EQ(info.bitrate_index, 10);
  EXPECT_EQ(info.frame_bytes, 626 - 4);
  EXPECT_EQ(info.protected_stream, 1);
  EXPECT_STREQ(info.bitrate_text, "192 kbit/s");
  EXPECT_STREQ(info.version_text, "MPEG-1");
  EXPECT_NEAR(info.duration_ms, 2 * 26.12245, 0.01);
  EXPECT_EQ(context.frame_count(), 2u);

  context.close();
  EXPECT_FALSE(context.is_open());
  std::memset(&info, 0x5A, sizeof info);
  EXPECT_EQ(context.describe(info), 0);
  EXPECT_EQ(info.sample_rate, 0x5A5A5A5A);  // untouched
  EXPECT_EQ(context.frame_count(), 0u);
  EXPECT_EQ(context.decode_next(nullptr), 0u);
}

TEST(DecoderContext, SecondOpenIsRefusedAndLeavesTheStreamAlone) {
  TempFile first(concat({layer2_tone_frame(), layer2_tone_frame(), layer2_tone_frame()}));
  TempFile second(silent_frame(1));
  DecoderContext context;
  ASSERT_EQ(context.open(first.path()), 1);
  std::vector<float> frame(DecoderContext::kMaxFrameOutputBytes / sizeof(float));
  EXPECT_EQ(context.decode_next(frame.data()), kLayer2StereoBytes);
  EXPECT_EQ(context.open(second.path()), 0);
  StreamInfo info{};
  ASSERT_EQ(context.describe(info), 1);
  EXPECT_EQ(info.layer, 2);
  EXPECT_EQ(decode_all(context).reads, (std::vector<uint32_t>{kLayer2StereoBytes, kLayer2StereoBytes, 0}));

  // Refused while ended too; after close the context opens the other file.
  EXPECT_EQ(context.open(second.path()), 0);
  context.close();
  ASSERT_EQ(context.open(second.path()), 1);
  EXPECT_EQ(decode_all(context).reads, (std::vector<uint32_t>{kLayer1StereoBytes, 0}));
}

TEST(DecoderContext, OpenFailsCleanlyWithoutAFrame) {
  DecoderContext context;
  EXPECT_EQ(context.open("/nonexistent/mpegin/no_such_file.mp2"), 0);
  EXPECT_FALSE(context.is_open());
  EXPECT_EQ(context.open(nullptr), 0);
  TempFile junk(Bytes(300, 0x11));
  EXPECT_EQ(context.open(junk.path()), 0);
  EXPECT_FALSE(context.is_open());
  EXPECT_EQ(context.decode_next(nullptr), 0u);
  // Still usable afterwards.
  TempFile good(layer2_tone_frame());
  EXPECT_EQ(context.open(good.path()), 1);
}

TEST(DecoderContext, ContextsAreIndependent) {
  TempFile a(concat({layer2_tone_frame(), layer2_tone_frame()}));
  TempFile b(silent_frame(1));
  DecoderContext first;
  DecoderContext second;
  ASSERT_EQ(first.open(a.path()), 1);
  ASSERT_EQ(second.open(b.path()), 1);
  EXPECT_EQ(decode_all(second).reads, (std::vector<uint32_t>{kLayer1StereoBytes, 0}));
  EXPECT_EQ(decode_all(first).reads, (std::vector<uint32_t>{kLayer2StereoBytes, kLayer2StereoBytes, 0}));
}

}  // namespace
}  // namespace mpegin
