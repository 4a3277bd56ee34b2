#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <utility>

#include "layer3/huffman_decoder.h"
#include "layer3_test_support.h"

namespace mpegin {
namespace {

using test::BitWriter;
using test::StageHarness;
using Codes = std::map<std::pair<int, int>, std::string>;

// A few codes of ISO/IEC 11172-3 Table 3-B.7.
const Codes table1 = {{{0, 0}, "1"}, {{0, 1}, "001"}, {{1, 0}, "01"}, {{1, 1}, "000"}};
const Codes table3 = {{{0, 0}, "11"}, {{0, 1}, "10"}, {{1, 0}, "001"}, {{1, 1}, "01"}};

void put_pair(BitWriter& w, const Codes& codes, int x, int y) {
  w.put_string(codes.at({std::abs(x), std::abs(y)}));
  if (x != 0) w.put(x < 0, 1);
  if (y != 0) w.put(y < 0, 1);
}

// Table B: 4-bit complement codes, then the signs of v, w, x, y.
void put_quad_b(BitWriter& w, int v, int wv, int x, int y) {
  const int values[4] = {v, wv, x, y};
  uint32_t pattern = 0;
  for (int value : values) pattern = (pattern << 1) | (value != 0);
  w.put(~pattern & 15u, 4);
  for (int value : values)
    if (value != 0) w.put(value < 0, 1);
}

struct HuffmanFixture : testing::Test {
  StageHarness h{1, 3, 0};
  Layer3Scratch& d = h.s;
  GranuleInfo& gi = d.side_info.channel[0].granule[0];
  int32_t band_table_index = 3;

  // Stores `part2_bits` bits of scale factors and then `data` at the start of the
  // ring, stands after the scale factors and runs the decoder with
  // part2_3_length = part2_bits + data_bits.
  void decode(const BitWriter& data, int32_t data_bits, int32_t part2_bits = 0) {
    BitWriter all;
    all.put(0, static_cast<uint32_t>(part2_bits));
    all.append(data);
    all.put(0xFFFFFFFF, 32);
    h.reservoir = BitReservoir();
    h.store(all);
    gi.part2_3_length = part2_bits + data_bits;
    BitReader bits = h.reservoir.reader(gi.part2_3_length);
    bits.skip(part2_bits);
    for (int32_t& q : d.quantized) q = 12345;
    run(bits);
  }
  void run(const BitReader& bits) {
    d.nonzero_count[0] = decode_huffman(bits, gi, band_tables[band_table_index], d.quantized);
  }
  void long_block(int region0, int region1, int t0, int t1, int t2) {
    gi.window_switching_flag = 0;
    gi.block_type = 0;
    gi.region0_count = region0;
    gi.region1_count = region1;
    gi.table_select[0] = t0;
    gi.table_select[1] = t1;
    gi.table_select[2] = t2;
  }
};

TEST_F(HuffmanFixture, RegionsChooseTheirTablesAndCount1Follows) {
  // 44100 Hz (index 3): region 0 = band 0 (lines 0..3), region 1 = band 1 (4..7).
  band_table_index = 3;
  long_block(0, 0, 1, 0, 3);
  gi.big_values = 6;
  gi.count1table_select = 1;
  BitWriter w;
  put_pair(w, table1, 1, -1);
  put_pair(w, table1, 0, 1);
  // lines 4..7: table 0, no bits
  put_pair(w, table3, -1, 0);
  put_pair(w, table3, 1, 1);
  put_quad_b(w, 0, -1, 0, 1);
  put_quad_b(w, 0, 0, 0, 0);
  decode(w, static_cast<int32_t>(w.size()));
  const int32_t expected[20] = {1, -1, 0, 1, 0, 0, 0, 0, -1, 0, 1, 1, 0, -1, 0, 1, 0, 0, 0, 0};
  for (int i = 0; i < 20; ++i) EXPECT_EQ(d.quantized[i], expected[i]) << i;
  for (int i = 20; i < 576; ++i) ASSERT_EQ(d.quantized[i], 0) << i;
  EXPECT_EQ(d.nonzero_count[0], 20);

  // The same region counts at 22050 Hz (index 0): band 0 is lines 0..5.
  band_table_index = 0;
  BitWriter lsf;
  for (int k = 0; k < 3; ++k) put_pair(lsf, table1, 1, 0);
  put_pair(lsf, table3, 0, 1);
  gi.big_values = 4;
  decode(lsf, static_cast<int32_t>(lsf.size()));
  const int32_t lsf_expected[8] = {1, 0, 1, 0, 1, 0, 0, 0};  // lines 6..7 are region 1 (table 0)
  for (int i = 0; i < 8; ++i) EXPECT_EQ(d.quantized[i], lsf_expected[i]) << i;
  // The three bits after the big values start a quadruple that runs past the end.
}

TEST_F(HuffmanFixture, RegionCountsPastTheLastBandEndAtLine576) {
  // region0_count 15 + region1_count 7 names boundary 24 of a 23-entry table.
  band_table_index = 3;
  long_block(15, 7, 0, 1, 0);  // region 0 = lines 0..161, region 1 = 162..575
  gi.big_values = 100;
  BitWriter w;
  for (int k = 162; k < 200; k += 2) put_pair(w, table1, 1, -1);
  decode(w, static_cast<int32_t>(w.size()));
  for (int i = 0; i < 162; ++i) ASSERT_EQ(d.quantized[i], 0) << i;
  for (int i = 162; i < 200; i += 2) {
    ASSERT_EQ(d.quantized[i], 1) << i;
    ASSERT_EQ(d.quantized[i + 1], -1) << i;
  }
  EXPECT_EQ(d.nonzero_count[0], 200);
}

TEST_F(HuffmanFixture, ShortBlocksSwitchTablesAtLine36) {
  gi.window_switching_flag = 1;
  gi.block_type = 2;
  gi.mixed_block_flag = 0;
  gi.table_select[0] = 1;
  gi.table_select[1] = 3;
  gi.table_select[2] = 0;  // never used for short blocks
  gi.big_values = 20;      // lines 0..39
  for (int32_t index : {0, 3, 5}) {
    band_table_index = index;
    BitWriter w;
    for (int k = 0; k < 18; ++k) put_pair(w, table1, 1, 1);
    for (int k = 0; k < 2; ++k) put_pair(w, table3, 0, 1);
    decode(w, static_cast<int32_t>(w.size()));
    for (int i = 0; i < 36; ++i) ASSERT_EQ(d.quantized[i], 1) << i;
    EXPECT_EQ(d.quantized[36], 0);
    EXPECT_EQ(d.quantized[37], 1);
    EXPECT_EQ(d.nonzero_count[0], 40);
  }
}

TEST_F(HuffmanFixture, EndOfGranuleData) {
  band_table_index = 3;
  long_block(0, 0, 0, 0, 0);

  // big_values 0 and only scale factor bits: nothing decoded.
  gi.big_values = 0;
  decode(BitWriter(), 0, 24);
  EXPECT_EQ(d.nonzero_count[0], 0);
  for (int i = 0; i < 576; ++i) ASSERT_EQ(d.quantized[i], 0);

  // Table B zeros: n quadruples use exactly 4n bits.
  gi.count1table_select = 1;
  BitWriter zeros;
  for (int k = 0; k < 5; ++k) put_quad_b(zeros, 0, 0, 0, 0);
  decode(zeros, 20);
  EXPECT_EQ(d.nonzero_count[0], 20);

  // The last quadruple ends exactly at the end: kept.
  BitWriter exact;
  put_quad_b(exact, 1, 0, 0, 0);
  put_quad_b(exact, 0, 0, -1, 1);
  const int32_t exact_bits = static_cast<int32_t>(exact.size());
  decode(exact, exact_bits, 8);
  EXPECT_EQ(d.nonzero_count[0], 8);
  EXPECT_EQ(d.quantized[6], -1);
  EXPECT_EQ(d.quantized[7], 1);

  // One bit short: the last quadruple is dropped.
  decode(exact, exact_bits - 1, 8);
  EXPECT_EQ(d.nonzero_count[0], 4);
  EXPECT_EQ(d.quantized[0], 1);
  for (int i = 4; i < 8; ++i) EXPECT_EQ(d.quantized[i], 0);

  // A full spectrum leaves the rest of the data unread: it is skipped.
  gi.big_values = 288;
  decode(zeros, 100);
  EXPECT_EQ(d.nonzero_count[0], 576);
}

// The table-driven loop and the single-symbol path read the same symbols.
TEST_F(HuffmanFixture, GranuleLoopMatchesSymbolBySymbolDecoding) {
  std::mt19937 rng(11);
  band_table_index = 3;
  for (int table = 0; table < 32; ++table) {
    long_block(15, 7, table, table, table);
    gi.big_values = 288;
    gi.count1table_select = table & 1;
    for (int k = 0; k < 4096; ++k) test::put_byte(h.reservoir, rng());
    // Data enough for any 288 pairs (at most 47 bits each).
    const int32_t start = static_cast<int32_t>(rng() % 20000);
    BitReader bits = h.reservoir.reader(start + 288 * 47);
    bits.set_position(start);
    BitReader copy = bits;
    run(bits);
    for (int i = 0; i < 576; i += 2) {
      int32_t x, y, v, w;
      test::decode_huffman_symbol(static_cast<uint32_t>(table), x, y, v, w, copy);
      ASSERT_EQ(d.quantized[i], x) << "table " << table << " line " << i;
      ASSERT_EQ(d.quantized[i + 1], y) << "table " << table << " line " << i;
    }
  }
}

// Corrupt side information: the spectrum and the reads stay within bounds, and big values
// that claim more data than the granule has are reported.
TEST_F(HuffmanFixture, CorruptLengthsStayInBounds) {
  std::mt19937 rng(5);
  band_table_index = 3;
  float* after = d.requantized[0];  // the memory right behind `quantized`
  auto set_canary = [&] { after[0] = after[1] = after[2] = after[3] = 7.0f; };
  auto canary_intact = [&] { return after[0] == 7.0f && after[1] == 7.0f && after[2] == 7.0f && after[3] == 7.0f; };

  // big_values far above 288 with data that never ends, near the end of the ring (reads wrap
  // around it): 288 pairs of table 24 take more than the 1000 bits the granule has.
  for (int k = 0; k < 4096; ++k) test::put_byte(h.reservoir, rng() | 0x01);
  long_block(15, 7, 24, 24, 31);
  gi.big_values = 511;
  set_canary();
  BitReader bits = h.reservoir.reader(8 * 4000 + 1000);
  bits.set_position(8 * 4000);
  run(bits);
  EXPECT_TRUE(canary_intact());
  EXPECT_EQ(d.nonzero_count[0], -1);

  // A quadruple starting at line 574 stores only lines 574 and 575.
  long_block(0, 0, 0, 0, 0);
  gi.big_values = 287;
  gi.count1table_select = 1;
  BitWriter quad;
  put_quad_b(quad, 1, -1, 1, 1);
  set_canary();
  decode(quad, static_cast<int32_t>(quad.size()));
  EXPECT_EQ(d.quantized[573], 0);
  EXPECT_EQ(d.quantized[574], 1);
  EXPECT_EQ(d.quantized[575], -1);
  EXPECT_EQ(d.nonzero_count[0], 576);
  EXPECT_TRUE(canary_intact());
  // ... and when it runs past the end it is dropped.
  decode(quad, static_cast<int32_t>(quad.size()) - 1);
  EXPECT_EQ(d.quantized[574], 0);
  EXPECT_EQ(d.quantized[575], 0);
  EXPECT_EQ(d.nonzero_count[0], 574);
  EXPECT_TRUE(canary_intact());

  // Big values one bit longer than the data, or starting after its end (part2_3_length
  // shorter than the scale factors already read): damage.
  long_block(0, 0, 1, 1, 1);
  gi.big_values = 1;
  BitWriter pair;
  put_pair(pair, table1, 1, 1);
  decode(pair, static_cast<int32_t>(pair.size()) - 1);
  EXPECT_EQ(d.nonzero_count[0], -1);
  decode(pair, -8, 16);
  EXPECT_EQ(d.nonzero_count[0], -1);
}

}  // namespace
}  // namespace mpegin
