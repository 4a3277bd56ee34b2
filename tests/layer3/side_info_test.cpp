#include <gtest/gtest.h>

#include "layer3_test_support.h"

namespace mpegin {
namespace {

using test::BitWriter;
using test::StageHarness;

// Field values for one granule; `window_switching` selects the layout.
struct GranuleBits {
  uint32_t part2_3_length = 0, big_values = 0, global_gain = 0, scalefac_compress = 0;
  uint32_t window_switching = 0, block_type = 0, mixed = 0;
  uint32_t table_select[3] = {0, 0, 0};
  uint32_t subblock_gain[3] = {0, 0, 0};
  uint32_t region0 = 0, region1 = 0;
  uint32_t preflag = 0, scalefac_scale = 0, count1table = 0;
};

void put_granule(BitWriter& w, const GranuleBits& g, bool mpeg1) {
  w.put(g.part2_3_length, 12);
  w.put(g.big_values, 9);
  w.put(g.global_gain, 8);
  w.put(g.scalefac_compress, mpeg1 ? 4 : 9);
  w.put(g.window_switching, 1);
  if (g.window_switching) {
    w.put(g.block_type, 2);
    w.put(g.mixed, 1);
    w.put(g.table_select[0], 5);
    w.put(g.table_select[1], 5);
    for (uint32_t gain : g.subblock_gain) w.put(gain, 3);
  } else {
    for (uint32_t table : g.table_select) w.put(table, 5);
    w.put(g.region0, 4);
    w.put(g.region1, 3);
  }
  if (mpeg1) w.put(g.preflag, 1);
  w.put(g.scalefac_scale, 1);
  w.put(g.count1table, 1);
}

// A granule with every field distinct; `seed` varies the values.
GranuleBits long_granule(uint32_t seed) {
  GranuleBits g;
  g.part2_3_length = 1000 + seed;
  g.big_values = 200 + seed;
  g.global_gain = 150 + seed;
  g.scalefac_compress = 9 + seed % 7;
  g.table_select[0] = 1 + seed;
  g.table_select[1] = 15 + seed;
  g.table_select[2] = 24 + seed;
  g.region0 = 5 + seed % 10;
  g.region1 = 2 + seed % 6;
  g.preflag = seed & 1;
  g.scalefac_scale = (seed >> 1) & 1;
  g.count1table = 1;
  return g;
}

void expect_granule(const GranuleInfo& gi, const GranuleBits& g, bool mpeg1) {
  EXPECT_EQ(gi.part2_3_length, static_cast<int32_t>(g.part2_3_length));
  EXPECT_EQ(gi.big_values, static_cast<int32_t>(g.big_values));
  EXPECT_EQ(gi.global_gain, static_cast<int32_t>(g.global_gain));
  EXPECT_EQ(gi.scalefac_compress, static_cast<int32_t>(g.scalefac_compress));
  EXPECT_EQ(gi.window_switching_flag, static_cast<int32_t>(g.window_switching));
  EXPECT_EQ(gi.block_type, static_cast<int32_t>(g.block_type));
  EXPECT_EQ(gi.table_select[0], static_cast<int32_t>(g.table_select[0]));
  EXPECT_EQ(gi.table_select[1], static_cast<int32_t>(g.table_select[1]));
  if (g.window_switching) {
    EXPECT_EQ(gi.mixed_block_flag, static_cast<int32_t>(g.mixed));
    for (int w = 0; w < 3; ++w)
      EXPECT_EQ(gi.subblock_gain[w], static_cast<int32_t>(g.subblock_gain[w]));
  } else {
    EXPECT_EQ(gi.table_select[2], static_cast<int32_t>(g.table_select[2]));
    EXPECT_EQ(gi.region0_count, static_cast<int32_t>(g.region0));
    EXPECT_EQ(gi.region1_count, static_cast<int32_t>(g.region1));
  }
  if (mpeg1) {
    EXPECT_EQ(gi.preflag, static_cast<int32_t>(g.preflag));
  }
  EXPECT_EQ(gi.scalefac_scale, static_cast<int32_t>(g.scalefac_scale));
  EXPECT_EQ(gi.count1table_select, static_cast<int32_t>(g.count1table));
}

// Loads the side information bits (plus trailing data) as the frame body, reads
// it and checks that exactly `expected_bits` were taken.
void read_exactly(StageHarness& h, BitWriter w, uint32_t expected_bits) {
  EXPECT_EQ(w.size(), expected_bits);
  w.put(0xFFFF, 16);
  ASSERT_TRUE(h.read_side_info(w));
  EXPECT_EQ(h.side_bits_read, static_cast<int32_t>(expected_bits));
}

TEST(SideInfo, Mpeg1FramesReadTheirFieldsInOrder) {
  for (uint32_t mode : {3u, 0u}) {  // single channel, stereo
    SCOPED_TRACE(mode == 3 ? "single channel" : "two channels");
    StageHarness h(1, mode, 1);
    const uint32_t channels = mode == 3 ? 1 : 2;
    BitWriter w;
    w.put(0x1A5, 9);                       // main_data_begin
    w.put(mode == 3 ? 0x15 : 0x5, mode == 3 ? 5 : 3);
    const uint32_t scfsi[2] = {0xA, 0x3};  // both channels' scfsi before any granule
    for (uint32_t ch = 0; ch < channels; ++ch) w.put(scfsi[ch], 4);
    GranuleBits g[2][2];
    for (uint32_t gr = 0; gr < 2; ++gr)
      for (uint32_t ch = 0; ch < channels; ++ch) {
        g[ch][gr] = long_granule(2 * gr + ch);
        put_granule(w, g[ch][gr], true);
      }
    read_exactly(h, w, mode == 3 ? 136u : 256u);
    const Layer3SideInfo& si = h.s.side_info;
    EXPECT_EQ(si.main_data_begin, 0x1A5);
    EXPECT_EQ(si.private_bits, mode == 3 ? 0x15 : 0x5);
    for (uint32_t ch = 0; ch < channels; ++ch) {
      for (int k = 0; k < 4; ++k)
        EXPECT_EQ(si.channel[ch].scfsi[k], static_cast<int32_t>((scfsi[ch] >> (3 - k)) & 1));
      for (uint32_t gr = 0; gr < 2; ++gr) {
        SCOPED_TRACE(testing::Message() << "ch " << ch << " gr " << gr);
        expect_granule(si.channel[ch].granule[gr], g[ch][gr], true);
      }
    }
  }
}

TEST(SideInfo, LsfFramesReadOneGranuleWithoutScfsiOrPreflag) {
  for (uint32_t mode : {3u, 1u}) {
    SCOPED_TRACE(mode == 3 ? "single channel" : "two channels");
    StageHarness h(0, mode, 2);
    const uint32_t channels = mode == 3 ? 1 : 2;
    // The granule-1 records must stay as they are.
    h.s.side_info.channel[0].granule[1].big_values = 77;
    h.s.side_info.channel[0].granule[0].preflag = 1;
    BitWriter w;
    w.put(0xC3, 8);
    w.put(mode == 3 ? 1 : 2, mode == 3 ? 1 : 2);
    GranuleBits g[2];
    for (uint32_t ch = 0; ch < channels; ++ch) {
      g[ch] = long_granule(ch);
      g[ch].scalefac_compress = 300 + 111 * ch;  // 9 bits
      put_granule(w, g[ch], false);
    }
    read_exactly(h, w, mode == 3 ? 72u : 136u);
    const Layer3SideInfo& si = h.s.side_info;
    EXPECT_EQ(si.main_data_begin, 0xC3);
    EXPECT_EQ(si.private_bits, mode == 3 ? 1 : 2);
    for (uint32_t ch = 0; ch < channels; ++ch) expect_granule(si.channel[ch].granule[0], g[ch], false);
    EXPECT_EQ(si.channel[0].granule[1].big_values, 77);
    EXPECT_EQ(si.channel[0].granule[0].preflag, 1);  // set later by the scale factor reader
  }
}

TEST(SideInfo, WindowSwitchingSetsTheRegionCounts) {
  struct Case {
    uint32_t block_type, mixed;
    int32_t region0, region1;
  };
  const Case cases[] = {{2, 0, 8, 12}, {2, 1, 7, 13}, {1, 0, 7, 13}, {3, 1, 7, 13}};
  for (uint32_t version : {1u, 0u}) {
    for (const Case& c : cases) {
      StageHarness h(version, 3);
      GranuleBits g = long_granule(3);
      g.window_switching = 1;
      g.block_type = c.block_type;
      g.mixed = c.mixed;
      g.subblock_gain[0] = 7;
      g.subblock_gain[1] = 1;
      g.subblock_gain[2] = 4;
      BitWriter w;
      w.put(0, version == 1 ? 14 + 4 : 9);
      put_granule(w, g, version == 1);
      if (version == 1) put_granule(w, long_granule(1), true);
      ASSERT_TRUE(h.read_side_info(w));
      const GranuleInfo& gi = h.s.side_info.channel[0].granule[0];
      SCOPED_TRACE(testing::Message() << "version " << version << " block " << c.block_type
                                      << " mixed " << c.mixed);
      expect_granule(gi, g, version == 1);
      EXPECT_EQ(gi.region0_count, c.region0);
      EXPECT_EQ(gi.region1_count, c.region1);
    }
  }
}

TEST(SideInfo, ForbiddenBlockTypeStopsReading) {
  for (uint32_t version : {1u, 0u}) {
    SCOPED_TRACE(version == 1 ? "MPEG-1" : "LSF");
    const bool mpeg1 = version == 1;
    StageHarness h(version, 0);
    Layer3SideInfo& si = h.s.side_info;
    si.channel[0].granule[0].region0_count = 11;
    si.channel[0].granule[0].count1table_select = 1;
    si.channel[1].granule[0].big_values = 123;
    BitWriter w;
    w.put(0, mpeg1 ? 9 + 3 + 8 : 8 + 2);
    GranuleBits bad = long_granule(0);
    bad.window_switching = 1;
    bad.block_type = 0;
    bad.subblock_gain[2] = 5;
    put_granule(w, bad, mpeg1);
    put_granule(w, long_granule(1), mpeg1);
    EXPECT_FALSE(h.read_side_info(w));
    // Stopped right after subblock_gain[2]; what follows keeps its old value.
    const uint32_t header_bits = mpeg1 ? 20 : 10;
    const uint32_t granule_head = 12 + 9 + 8 + (mpeg1 ? 4 : 9) + 1 + 2 + 1 + 5 + 5 + 9;
    EXPECT_EQ(h.side_bits_read, static_cast<int32_t>(header_bits + granule_head));
    EXPECT_EQ(si.channel[0].granule[0].subblock_gain[2], 5);
    EXPECT_EQ(si.channel[0].granule[0].region0_count, 11);
    EXPECT_EQ(si.channel[0].granule[0].count1table_select, 1);
    EXPECT_EQ(si.channel[1].granule[0].big_values, 123);
  }
}

}  // namespace
}  // namespace mpegin
