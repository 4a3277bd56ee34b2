#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "bitstream/frame_header.h"
#include "bitstream/mpeg_file_reader.h"
#include "layer3_test_support.h"
#include "support/conformance.h"

namespace mpegin {
namespace {

using test::BitWriter;
using test::DecoderHarness;

// Keeps every sample per channel.
class RecordingSink : public SampleSink {
 public:
  void append_block(int channel, const float* values, uint32_t count) override {
    samples[channel].insert(samples[channel].end(), values, values + count);
  }
  const float* take(uint32_t& length_bytes) override {
    length_bytes = 0;
    return nullptr;
  }
  std::vector<float> samples[2];
};

// One granule and channel of a synthetic frame: `pairs` Huffman pairs (1, 1) of table 1
// (code 000, two sign bits), no scale factor bits unless `scale_factors` (MPEG-1 long blocks:
// ten one-bit scale factors, bands 11..20, all 0).
struct Granule {
  int pairs = 0;
  int block_type = 0;  // with window switching unless 0
  bool forbidden = false;  // window switching with block type 0
  bool negative = false;
  bool scale_factors = false;
  int length = -1;  // part2_3_length when not the length of the data
};

uint32_t granule_bits(const Granule& g) {
  return 5u * static_cast<uint32_t>(g.pairs) + (g.scale_factors ? 10u : 0u);
}

void put_granule_side_info(BitWriter& w, const Granule& g, bool mpeg1) {
  w.put(g.length >= 0 ? static_cast<uint32_t>(g.length) : granule_bits(g), 12);
  w.put(static_cast<uint32_t>(g.pairs), 9);
  w.put(210, 8);               // global_gain: unit gain
  w.put(g.scale_factors ? 1 : 0, mpeg1 ? 4 : 9);  // scalefac_compress: slen (0, 1) or none
  const bool switching = g.block_type != 0 || g.forbidden;
  w.put(switching ? 1 : 0, 1);
  if (switching) {
    w.put(static_cast<uint32_t>(g.block_type), 2);
    w.put(0, 1);               // mixed_block_flag
    w.put(1, 5);
    w.put(1, 5);               // table 1 in both regions
    w.put(0, 9);               // subblock gains
    if (g.forbidden) return;   // the side information stops here
  } else {
    w.put(1, 5);
    w.put(1, 5);
    w.put(1, 5);
    w.put(15, 4);              // region0_count
    w.put(7, 3);               // region1_count
  }
  if (mpeg1) w.put(0, 1);      // preflag
  w.put(0, 1);                 // scalefac_scale
  w.put(0, 1);                 // count1table_select
}

void put_granule_data(BitWriter& w, const Granule& g) {
  if (g.scale_factors) w.put(0, 10);
  for (int k = 0; k < g.pairs; ++k) {
    w.put(0, 3);
    w.put(g.negative ? 3 : 0, 2);
  }
}

// A frame body: side information (granule-major granules), then `main_bytes` bytes of main
// data that start with `data`.
struct Frame {
  bool mpeg1 = true;
  int channels = 1;
  int main_data_begin = 0;
  std::vector<Granule> granules;  // [gr * channels + ch]

  uint32_t side_info_bits() const {
    if (mpeg1) return channels == 1 ? 136u : 256u;
    return channels == 1 ? 72u : 136u;
  }
  BitWriter body(const BitWriter& data, uint32_t main_bytes) const {
    BitWriter w;
    w.put(static_cast<uint32_t>(main_data_begin), mpeg1 ? 9 : 8);
    w.put(0, mpeg1 ? (channels == 1 ? 5 : 3) : (channels == 1 ? 1 : 2));
    if (mpeg1) w.put(0, 4 * static_cast<uint32_t>(channels));
    for (const Granule& g : granules) {
      put_granule_side_info(w, g, mpeg1);
      if (g.forbidden) break;
    }
    while (w.size() < side_info_bits()) w.put(0, 1);
    put_bytes(w, data, main_bytes);
    return w;
  }
  BitWriter data() const {
    BitWriter w;
    for (const Granule& g : granules) put_granule_data(w, g);
    return w;
  }
  static void put_bytes(BitWriter& w, const BitWriter& data, uint32_t bytes) {
    const std::vector<uint8_t> b = data.bytes();
    for (uint32_t i = 0; i < bytes; ++i) w.put(i < b.size() ? b[i] : 0, 8);
  }
};

// A decoder that records its output, standing on the harness's reader, header and filters.
struct DriverFixture {
  DriverFixture(uint32_t version, uint32_t mode, bool mix_down = false)
      : h(version, mode, 0),
        decoder(h.reader, h.header, h.filter0, mode == 3 ? nullptr : &h.filter1, sink,
                mix_down) {}

  void decode(const BitWriter& body, uint32_t main_bytes) {
    h.load_frame(body);
    h.header.main_data_bytes = main_bytes;
    decoded = decoder.decode_frame();
  }
  void decode(const Frame& frame, uint32_t main_bytes) {
    decode(frame.body(frame.data(), main_bytes), main_bytes);
  }

  DecoderHarness h;
  RecordingSink sink;
  Layer3Decoder decoder;
  bool decoded = false;
};

Frame mono_frame(int main_data_begin, int pairs) {
  Frame f;
  f.main_data_begin = main_data_begin;
  f.granules = {Granule{pairs}, Granule{pairs, 0, false, true}};
  return f;
}

// What a fresh decoder makes of a frame that carries the same granules in its own main data.
std::vector<float> standalone_output(int pairs, uint32_t main_bytes) {
  DriverFixture standalone(1, 3);
  standalone.decode(mono_frame(0, pairs), main_bytes);
  return standalone.sink.samples[0];
}

float peak(const std::vector<float>& v) {
  float m = 0.0f;
  for (float x : v) m = std::fmax(m, std::fabs(x));
  return m;
}

TEST(FrameDriver, FramesYieldAGranuleOfSamplesPerChannelAndGranule) {
  DriverFixture mono(1, 3);
  mono.decode(mono_frame(0, 20), 40);
  EXPECT_EQ(mono.sink.samples[0].size(), 1152u);
  EXPECT_TRUE(mono.sink.samples[1].empty());
  EXPECT_GT(peak(mono.sink.samples[0]), 0.0f);

  DriverFixture lsf(0, 0);
  Frame f;
  f.mpeg1 = false;
  f.channels = 2;
  f.granules = {Granule{10}, Granule{30}};
  lsf.decode(f, 60);
  EXPECT_EQ(lsf.sink.samples[0].size(), 576u);
  EXPECT_EQ(lsf.sink.samples[1].size(), 576u);
}

// The last 1152 samples of channel 0.
std::vector<float> last_frame(const std::vector<float>& samples) {
  return std::vector<float>(samples.end() - 1152, samples.end());
}

TEST(FrameDriver, FrameReachingBeforeTheStoredBytesIsConcealedAndTheNextDecodes) {
  // The second frame's data lie in the last 20 bytes of the first frame's main data; it must
  // decode exactly like the same data carried in its own main data.
  const BitWriter data = mono_frame(0, 12).data();  // 120 bits
  BitWriter first_main;
  Frame::put_bytes(first_main, BitWriter(), 30);
  Frame::put_bytes(first_main, data, 20);

  DriverFixture f(1, 3);
  Frame first = mono_frame(100, 0);
  f.decode(first.body(first_main, 50), 50);
  EXPECT_EQ(f.sink.samples[0], std::vector<float>(1152, 0.0f));  // nothing to stand in yet
  EXPECT_EQ(f.decoder.state().reservoir.bytes_stored(), 50);

  Frame second = mono_frame(20, 12);
  f.decode(second.body(BitWriter(), 50), 50);
  ASSERT_EQ(f.sink.samples[0].size(), 2304u);
  EXPECT_EQ(last_frame(f.sink.samples[0]), standalone_output(12, 50));
  EXPECT_GT(peak(f.sink.samples[0]), 0.0f);
}

TEST(FrameDriver, ForbiddenBlockTypeConcealsTheFrameButKeepsItsMainData) {
  DriverFixture f(1, 3);
  Frame bad = mono_frame(0, 0);
  bad.granules[0].forbidden = true;
  const BitWriter data = mono_frame(0, 12).data();
  f.decode(bad.body(data, 40), 40);
  EXPECT_EQ(f.sink.samples[0], std::vector<float>(1152, 0.0f));
  EXPECT_EQ(f.decoder.state().reservoir.bytes_stored(), 40);

  // The next frame begins in the concealed frame's main data, which were stored in full.
  Frame next = mono_frame(40, 12);
  f.decode(next.body(BitWriter(), 40), 40);
  EXPECT_EQ(f.sink.samples[0].size(), 2304u);
  EXPECT_EQ(last_frame(f.sink.samples[0]), standalone_output(12, 40));
}

TEST(FrameDriver, FrameWithoutMainDataCountIsConcealed) {
  DriverFixture f(1, 3);
  const Frame frame = mono_frame(0, 12);
  f.h.load_frame(frame.body(frame.data(), 40));
  f.h.header.main_data_bytes = 0;  // a frame without a usable length
  f.decoder.decode_frame();
  EXPECT_EQ(f.sink.samples[0].size(), 1152u);
  EXPECT_EQ(f.h.frame_bits_read(), 0u);
  EXPECT_EQ(f.decoder.state().reservoir.bytes_stored(), 0);
}

TEST(FrameDriver, GranuleClaimingMoreDataThanItHasIsConcealed) {
  // After a decoded frame, a damaged one yields the concealment, as a frame without main data
  // does, and keeps its main data for the frames after it.
  struct Case {
    const char* what;
    Granule second;  // the frame's second granule; the first holds 12 pairs in 60 bits
  };
  const Case cases[] = {
      {"big values one bit longer than the granule", Granule{12, 0, false, false, false, 59}},
      {"scale factors longer than the granule", Granule{0, 0, false, false, true, 9}},
      {"granule reaching past the stored bytes", Granule{12, 0, false, false, false, 8 * 40 - 60 + 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Frame damaged = mono_frame(0, 12);
    damaged.granules[1] = c.second;
    DriverFixture f(1, 3), reference(1, 3);
    f.decode(mono_frame(0, 20), 40);
    reference.decode(mono_frame(0, 20), 40);
    f.decode(damaged, 40);
    EXPECT_FALSE(f.decoded);
    reference.decode(mono_frame(0, 12), 0);  // no main data: concealed
    EXPECT_FALSE(reference.decoded);
    ASSERT_EQ(f.sink.samples[0].size(), 2304u);
    EXPECT_EQ(f.sink.samples[0], reference.sink.samples[0]);
    EXPECT_GT(peak(last_frame(f.sink.samples[0])), 0.0f);
    EXPECT_EQ(f.decoder.state().reservoir.bytes_stored(), 80);
  }
}

TEST(FrameDriver, LongRunOfFramesKeepsCountersBoundedWithoutASeam) {
  DriverFixture f(1, 3);
  std::vector<float> third;
  for (int k = 0; k < 120; ++k) {
    // Each frame begins 7 bytes back, in the previous frame's main data.
    f.decode(mono_frame(k == 0 ? 0 : 7, 20), 300);
    ASSERT_EQ(f.sink.samples[0].size(), 1152u * (k + 1));
    // Up to one ring of read bytes before renormalisation, plus what is stored ahead.
    EXPECT_LE(f.decoder.state().reservoir.bytes_stored(), BitReservoir::kCapacity + 2 * 300);
    EXPECT_LE(f.decoder.state().reservoir.position(), 8 * (BitReservoir::kCapacity + 300));
    if (k == 3) third = f.sink.samples[0];
    if (k > 3) {
      // Identical frames give identical output once the filters have settled.
      const std::vector<float> last(f.sink.samples[0].end() - 1152, f.sink.samples[0].end());
      ASSERT_EQ(last, std::vector<float>(third.end() - 1152, third.end())) << k;
    }
  }
}

// Decodes a Layer III stream, mixed down or not; false when it cannot be read.
bool decode_stream(const std::string& path, bool mix_down, RecordingSink& sink) {
  MpegFileReader reader(path.c_str());
  FrameHeader header;
  Crc16* crc = nullptr;
  if (!reader.is_open() || !header.read_header(reader, crc) || header.layer != 3) return false;
  SynthesisFilter filter0(0), filter1(1);
  Layer3Decoder decoder(reader, header, filter0, header.mode == 3 ? nullptr : &filter1, sink,
                        mix_down);
  do {
    decoder.decode_frame();
  } while (header.read_header(reader, crc));
  return true;
}

void expect_selections_agree(const std::string& stream) {
  const std::string path = conformance::directory() + "/" + stream;
  RecordingSink both, mixed;
  if (!decode_stream(path, false, both)) {
    if (conformance::required()) FAIL() << "cannot read " << path;
    GTEST_SKIP() << "conformance stream missing: " << path;
  }
  ASSERT_TRUE(decode_stream(path, true, mixed));
  ASSERT_FALSE(both.samples[1].empty());
  // The mix is the average of both channels, up to rounding.
  ASSERT_EQ(mixed.samples[0].size(), both.samples[0].size());
  EXPECT_TRUE(mixed.samples[1].empty());
  double worst = 0.0;
  for (size_t i = 0; i < both.samples[0].size(); ++i) {
    const double average = 0.5 * (double{both.samples[0][i]} + both.samples[1][i]);
    worst = std::fmax(worst, std::fabs(mixed.samples[0][i] - average));
  }
  EXPECT_LT(worst, 2e-6) << stream;
  EXPECT_GT(peak(mixed.samples[0]), 0.01f);
}

TEST(FrameDriverMixDown, MixOfAStereoStream) {
  expect_selections_agree("l3-hecommon.bit");
}

TEST(FrameDriverMixDown, MixOfAnLsfStreamWithShortBlocks) {
  expect_selections_agree("M2L3_noise.bit");
}

TEST(FrameDriverMixDown, MixOfChannelsWithDifferentBlockTypesIsTheAverage) {
  // Left long, right short in one granule and the other way round in the next: the mix is
  // formed from the channels' time samples, so it stays the average of the two channels.
  Frame f;
  f.channels = 2;
  f.granules = {Granule{40}, Granule{30, 2}, Granule{25, 2, false, true}, Granule{35}};
  DriverFixture both(1, 0, false), mixed(1, 0, true);
  for (int k = 0; k < 3; ++k) {
    both.decode(f, 200);
    mixed.decode(f, 200);
  }
  ASSERT_EQ(mixed.sink.samples[0].size(), both.sink.samples[0].size());
  const float tolerance = 1e-6f * peak(both.sink.samples[0]);
  for (size_t i = 0; i < both.sink.samples[0].size(); ++i) {
    const float average = 0.5f * (both.sink.samples[0][i] + both.sink.samples[1][i]);
    ASSERT_NEAR(mixed.sink.samples[0][i], average, tolerance) << i;
  }
  EXPECT_GT(peak(mixed.sink.samples[0]), 0.01f);
}

}  // namespace
}  // namespace mpegin
