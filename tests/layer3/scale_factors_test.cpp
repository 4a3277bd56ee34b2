#include <gtest/gtest.h>

#include <vector>

#include "layer3_test_support.h"

namespace mpegin {
namespace {

using test::BitWriter;
using test::StageHarness;

// Writes `count` values of `width` bits each, distinct where the width allows, and
// returns them in stream order.
std::vector<int32_t> put_values(BitWriter& w, int count, uint32_t width, int32_t seed) {
  std::vector<int32_t> values;
  for (int k = 0; k < count; ++k) {
    const int32_t value = width == 0 ? 0 : (seed + 5 * k + 1) & ((1 << width) - 1);
    w.put(static_cast<uint32_t>(value), width);
    values.push_back(value);
  }
  return values;
}

void fill(Layer3ScaleFactors& sf, int32_t value) {
  for (int32_t& v : sf.scalefac_l) v = value;
  for (auto& window : sf.scalefac_s)
    for (int32_t& v : window) v = value;
}

struct Mpeg1Fixture {
  StageHarness h{1, 3, 0};
  Layer3Scratch& d = h.s;
  GranuleInfo& granule(uint32_t gr) { return d.side_info.channel[0].granule[gr]; }
  // Stores the bits (plus trailing ones), reads one granule's scale factors and
  // returns the bits consumed.
  int32_t read(const BitWriter& w, uint32_t gr) {
    BitWriter padded = w;
    padded.put(0xFFFFFFFF, 32);
    BitReservoir fresh;
    h.reservoir = fresh;
    h.store(padded);
    BitReader bits = h.main_data();
    read_scale_factors(bits, granule(gr), d.side_info.channel[0].scfsi, gr, d.scale_factors[0]);
    return bits.position();
  }
};

TEST(Mpeg1ScaleFactors, LongBlocksReuseGroupsMarkedByScfsi) {
  Mpeg1Fixture f;
  Layer3ScaleFactors& sf = f.d.scale_factors[0];
  fill(sf, 9);
  f.granule(0).scalefac_compress = 10;  // slen1 2, slen2 3
  f.granule(1).scalefac_compress = 10;
  BitWriter w;
  std::vector<int32_t> first = put_values(w, 11, 2, 0);
  const std::vector<int32_t> upper = put_values(w, 10, 3, 1);
  first.insert(first.end(), upper.begin(), upper.end());
  EXPECT_EQ(f.read(w, 0), 11 * 2 + 10 * 3);
  for (int b = 0; b < 21; ++b) EXPECT_EQ(sf.scalefac_l[b], first[b]) << b;
  EXPECT_EQ(sf.scalefac_l[21], 0);
  EXPECT_EQ(sf.scalefac_l[22], 0);

  // Granule 1 with scfsi 1,0,1,0: groups 1 (bands 6..10) and 3 (16..20) are read.
  int32_t* scfsi = f.d.side_info.channel[0].scfsi;
  scfsi[0] = 1;
  scfsi[1] = 0;
  scfsi[2] = 1;
  scfsi[3] = 0;
  BitWriter w1;
  const std::vector<int32_t> group1 = put_values(w1, 5, 2, 2);
  const std::vector<int32_t> group3 = put_values(w1, 5, 3, 3);
  sf.scalefac_l[21] = sf.scalefac_l[22] = 9;
  EXPECT_EQ(f.read(w1, 1), 5 * 2 + 5 * 3);
  for (int b = 0; b < 21; ++b) {
    int32_t expected = first[b];
    if (b >= 6 && b <= 10) expected = group1[b - 6];
    if (b >= 16) expected = group3[b - 16];
    EXPECT_EQ(sf.scalefac_l[b], expected) << b;
  }
  EXPECT_EQ(sf.scalefac_l[21], 0);

  // All four set: nothing is read, everything kept, bands 21 and 22 still cleared.
  for (int k = 0; k < 4; ++k) scfsi[k] = 1;
  sf.scalefac_l[22] = 9;
  const std::vector<int32_t> before(sf.scalefac_l, sf.scalefac_l + 21);
  EXPECT_EQ(f.read(BitWriter(), 1), 0);
  EXPECT_EQ(std::vector<int32_t>(sf.scalefac_l, sf.scalefac_l + 21), before);
  EXPECT_EQ(sf.scalefac_l[22], 0);

  // scfsi is ignored in granule 0; compress 0 reads nothing and gives zeros.
  f.granule(0).scalefac_compress = 0;
  EXPECT_EQ(f.read(BitWriter(), 0), 0);
  for (int b = 0; b < 23; ++b) EXPECT_EQ(sf.scalefac_l[b], 0) << b;
}

TEST(Mpeg1ScaleFactors, ShortAndMixedBlocks) {
  Mpeg1Fixture f;
  Layer3ScaleFactors& sf = f.d.scale_factors[0];
  GranuleInfo& gi = f.granule(0);
  gi.window_switching_flag = 1;
  gi.block_type = 2;
  gi.scalefac_compress = 14;  // slen1 4, slen2 2

  gi.mixed_block_flag = 0;
  fill(sf, 9);
  BitWriter w;
  std::vector<int32_t> values = put_values(w, 18, 4, 0);
  const std::vector<int32_t> upper = put_values(w, 18, 2, 1);
  values.insert(values.end(), upper.begin(), upper.end());
  EXPECT_EQ(f.read(w, 0), 18 * 4 + 18 * 2);
  for (int b = 0; b < 12; ++b)
    for (int win = 0; win < 3; ++win) EXPECT_EQ(sf.scalefac_s[win][b], values[3 * b + win]);
  for (int win = 0; win < 3; ++win) EXPECT_EQ(sf.scalefac_s[win][12], 0);
  for (int b = 0; b < 23; ++b) EXPECT_EQ(sf.scalefac_l[b], 9);  // untouched

  gi.mixed_block_flag = 1;
  fill(sf, 9);
  BitWriter m;
  const std::vector<int32_t> longs = put_values(m, 8, 4, 2);
  std::vector<int32_t> shorts = put_values(m, 9, 4, 3);
  const std::vector<int32_t> shorts2 = put_values(m, 18, 2, 4);
  shorts.insert(shorts.end(), shorts2.begin(), shorts2.end());
  EXPECT_EQ(f.read(m, 0), 8 * 4 + 9 * 4 + 18 * 2);
  for (int b = 0; b < 8; ++b) EXPECT_EQ(sf.scalefac_l[b], longs[b]);
  for (int b = 8; b < 23; ++b) EXPECT_EQ(sf.scalefac_l[b], 9);
  for (int win = 0; win < 3; ++win) {
    for (int b = 0; b < 3; ++b) EXPECT_EQ(sf.scalefac_s[win][b], 9);
    for (int b = 3; b < 12; ++b) EXPECT_EQ(sf.scalefac_s[win][b], shorts[3 * (b - 3) + win]);
    EXPECT_EQ(sf.scalefac_s[win][12], 0);
  }
}

// LSF: one case per line: compress value, channel, header mode / mode extension,
// block kind, the expected lengths and partition sizes, and preflag.
struct LsfCase {
  uint32_t sfc;
  uint32_t ch;
  uint32_t mode, mode_extension;
  int block_kind;  // 0 long, 1 short, 2 mixed
  uint32_t slen[4];
  int count[4];
  int32_t preflag;
};

class LsfScaleFactors : public testing::TestWithParam<LsfCase> {};

TEST_P(LsfScaleFactors, LengthsPartitionsAndPlacement) {
  const LsfCase& c = GetParam();
  StageHarness h(0, c.mode, 1);
  h.mode_extension = c.mode_extension;
  Layer3Scratch& d = h.s;
  GranuleInfo& gi = d.side_info.channel[c.ch].granule[0];
  gi.scalefac_compress = static_cast<int32_t>(c.sfc);
  gi.window_switching_flag = c.block_kind != 0 ? 1 : 0;
  gi.block_type = c.block_kind != 0 ? 2 : 0;
  gi.mixed_block_flag = c.block_kind == 2 ? 1 : 0;
  gi.preflag = 1 - c.preflag;
  Layer3ScaleFactors& sf = d.scale_factors[c.ch];
  fill(sf, 99);

  BitWriter w;
  std::vector<int32_t> values;
  int bits = 0;
  for (int part = 0; part < 4; ++part) {
    const std::vector<int32_t> v = put_values(w, c.count[part], c.slen[part], part);
    values.insert(values.end(), v.begin(), v.end());
    bits += c.count[part] * static_cast<int>(c.slen[part]);
  }
  values.resize(45, 0);
  w.put(0xFFFFFFFF, 32);
  h.store(w);
  BitReader reader = h.main_data();
  read_lsf_scale_factors(reader, gi, c.ch == 1 && h.coding().intensity, sf);
  EXPECT_EQ(reader.position(), bits);
  EXPECT_EQ(gi.preflag, c.preflag);

  if (c.block_kind == 0) {
    for (int b = 0; b < 21; ++b) EXPECT_EQ(sf.scalefac_l[b], values[b]) << b;
    EXPECT_EQ(sf.scalefac_l[21], 0);
    EXPECT_EQ(sf.scalefac_l[22], 0);
    return;
  }
  // Short: bands 0..11 window-interleaved. Mixed (ISO/IEC 13818-3): long bands 0..5,
  // then short bands 3..11 window-interleaved.
  const int first_short = c.block_kind == 2 ? 3 : 0;
  const int long_count = c.block_kind == 2 ? 6 : 0;
  for (int b = 0; b < long_count; ++b) EXPECT_EQ(sf.scalefac_l[b], values[b]) << b;
  for (int win = 0; win < 3; ++win) {
    for (int b = first_short; b < 12; ++b)
      EXPECT_EQ(sf.scalefac_s[win][b], values[long_count + 3 * (b - first_short) + win])
          << "window " << win << " band " << b;
    EXPECT_EQ(sf.scalefac_s[win][12], 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, LsfScaleFactors,
    testing::Values(
        // Normal variant, long blocks: rows 0, 1, 2 at their edges.
        LsfCase{399, 0, 0, 0, 0, {4, 4, 3, 3}, {6, 5, 5, 5}, 0},
        LsfCase{0, 0, 3, 0, 0, {0, 0, 0, 0}, {6, 5, 5, 5}, 0},
        LsfCase{400, 0, 0, 0, 0, {0, 0, 0, 0}, {6, 5, 7, 3}, 0},
        LsfCase{499, 0, 0, 0, 0, {4, 4, 3, 0}, {6, 5, 7, 3}, 0},
        LsfCase{500, 0, 0, 0, 0, {0, 0, 0, 0}, {11, 10, 0, 0}, 1},
        LsfCase{511, 0, 0, 0, 0, {3, 2, 0, 0}, {11, 10, 0, 0}, 1},
        // Short and mixed blocks.
        LsfCase{399, 0, 0, 0, 1, {4, 4, 3, 3}, {9, 9, 9, 9}, 0},
        LsfCase{417, 0, 0, 0, 1, {0, 4, 1, 0}, {9, 9, 12, 6}, 0},
        LsfCase{399, 0, 0, 0, 2, {4, 4, 3, 3}, {6, 9, 9, 9}, 0},
        LsfCase{510, 0, 0, 0, 2, {3, 1, 0, 0}, {15, 18, 0, 0}, 1},
        // Intensity variant: right channel of a joint-stereo frame with intensity.
        LsfCase{2 * 179, 1, 1, 1, 0, {4, 5, 5, 0}, {7, 7, 7, 0}, 0},
        LsfCase{2 * 179 + 1, 1, 1, 3, 1, {4, 5, 5, 0}, {12, 12, 12, 0}, 0},
        LsfCase{2 * 180, 1, 1, 1, 0, {0, 0, 0, 0}, {6, 6, 6, 3}, 0},
        LsfCase{2 * 243, 1, 1, 3, 2, {3, 3, 3, 0}, {6, 12, 9, 6}, 0},
        LsfCase{2 * 254, 1, 1, 1, 0, {3, 1, 0, 0}, {8, 8, 5, 0}, 0},
        LsfCase{2 * 254 + 1, 1, 1, 1, 1, {3, 1, 0, 0}, {15, 12, 9, 0}, 0},
        // isc 255 fits no range: nothing is read.
        LsfCase{511, 1, 1, 1, 0, {0, 0, 0, 0}, {0, 0, 0, 0}, 0},
        // Not the intensity variant: left channel, no intensity bit, or not joint stereo.
        LsfCase{511, 0, 1, 1, 0, {3, 2, 0, 0}, {11, 10, 0, 0}, 1},
        LsfCase{511, 1, 1, 2, 0, {3, 2, 0, 0}, {11, 10, 0, 0}, 1},
        LsfCase{511, 1, 0, 1, 0, {3, 2, 0, 0}, {11, 10, 0, 0}, 1}));

}  // namespace
}  // namespace mpegin
