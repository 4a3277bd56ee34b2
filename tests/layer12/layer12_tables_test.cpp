// The constant tables of Layers I and II and the allocation table lookups.
#include <gtest/gtest.h>

#include <cmath>

#include "layer12/layer1_tables.h"
#include "layer12/layer2_tables.h"
#include "layer12/scale_factor_table.h"

namespace mpegin {
namespace {

TEST(ScaleFactorTable, FallsByAThirdOfAnOctavePerIndex) {
  EXPECT_EQ(scale_factor_table[0], 2.0f);
  EXPECT_EQ(scale_factor_table[3], 1.0f);
  EXPECT_EQ(scale_factor_table[6], 0.5f);
  EXPECT_FLOAT_EQ(scale_factor_table[1], 1.587401f);
  EXPECT_FLOAT_EQ(scale_factor_table[62], 1.2015544e-06f);
  EXPECT_EQ(scale_factor_table[63], 0.0f);
  for (int i = 0; i < 63; ++i) {
    EXPECT_EQ(scale_factor_table[i], static_cast<float>(std::pow(2.0, 1.0 - i / 3.0))) << i;
  }
}

TEST(Layer1Tables, GiveTheRequantisationConstants) {
  EXPECT_FLOAT_EQ(layer1_factor[1], 0.6666667f);
  EXPECT_FLOAT_EQ(layer1_factor[2], 0.2857143f);
  EXPECT_FLOAT_EQ(layer1_factor[14], 0.00006103702f);
  EXPECT_FLOAT_EQ(layer1_offset[1], -0.6666667f);
  EXPECT_FLOAT_EQ(layer1_offset[2], -0.8571429f);
  EXPECT_FLOAT_EQ(layer1_offset[14], -0.9999695f);
  for (int a : {0, 15}) {
    EXPECT_EQ(layer1_factor[a], 0.0f);
    EXPECT_EQ(layer1_offset[a], 0.0f);
  }
  for (int a = 1; a <= 14; ++a) {
    const double steps = std::ldexp(1.0, a + 1) - 1.0;
    EXPECT_EQ(layer1_factor[a], static_cast<float>(2.0 / steps)) << a;
    EXPECT_EQ(layer1_offset[a], static_cast<float>(2.0 * (1.0 - std::ldexp(1.0, a)) / steps)) << a;
  }
}

TEST(Layer2Classes, HaveConsistentWidthsAndConstants) {
  for (const Layer2QuantClass& c : layer2_classes) {
    SCOPED_TRACE(c.levels);
    if (c.grouped) {
      ASSERT_NE(c.grouping, nullptr);
      EXPECT_LE(c.levels * c.levels * c.levels, 1u << c.code_bits);
      EXPECT_GT(c.levels * c.levels * c.levels, 1u << (c.code_bits - 1));
      continue;
    }
    EXPECT_EQ(c.grouping, nullptr);
    EXPECT_EQ(c.levels, (1u << c.code_bits) - 1);
    const double two_nb = std::ldexp(1.0, static_cast<int>(c.code_bits));
    EXPECT_EQ(c.c, static_cast<float>(two_nb / (two_nb - 1.0)));
    if (c.code_bits < 15) {
      EXPECT_EQ(c.d, static_cast<float>(2.0 / two_nb));
    }
    EXPECT_NEAR(c.d, 2.0 / two_nb, 1e-11);
  }
  EXPECT_EQ(layer2_classes[kLayer2ClassCount - 1].levels, 65535u);
  EXPECT_EQ(layer2_classes[kLayer2ClassCount - 1].d, 0.00003051758f);
}

TEST(Layer2GroupingTables, HoldThreeDigitsPerCodeAndSilenceBeyond) {
  struct Table {
    int levels;
    const float* values;
    size_t entries;
  };
  const Table tables[] = {{3, layer2_grouping_3.data(), layer2_grouping_3.size() / 3},
                          {5, layer2_grouping_5.data(), layer2_grouping_5.size() / 3},
                          {9, layer2_grouping_9.data(), layer2_grouping_9.size() / 3}};
  for (const Table& t : tables) {
    const int used = t.levels * t.levels * t.levels;
    for (int k = 0; k < used; ++k) {
      int rest = k;
      for (int i = 0; i < 3; ++i) {
        const float v = static_cast<float>(2 * (rest % t.levels) - (t.levels - 1)) / static_cast<float>(t.levels);
        ASSERT_EQ(t.values[3 * k + i], v) << t.levels << " levels, code " << k;
        rest /= t.levels;
      }
    }
    for (size_t k = used; k < t.entries; ++k) {
      for (int i = 0; i < 3; ++i) ASSERT_EQ(t.values[3 * k + i], 0.0f) << k;
    }
  }
  EXPECT_EQ(layer2_grouping_3[3], 0.0f);
  EXPECT_EQ(layer2_grouping_3[4], -0.6666667f);
  EXPECT_EQ(layer2_grouping_3[5], -0.6666667f);
}

TEST(Layer2Allocation, PerChannelIndexFollowsTheMode) {
  EXPECT_EQ(layer2_per_channel_index(2, 3), 2u);
  EXPECT_EQ(layer2_per_channel_index(4, 0), 1u);
  EXPECT_EQ(layer2_per_channel_index(10, 1), 6u);
  EXPECT_GT(layer2_per_channel_index(2, 0), 100u);  // not allowed for two channels: wraps
}

TEST(Layer2Allocation, HighRateMpeg1Tables) {
  // stereo at 192 kbit/s: per-channel index 6
  const Layer2Layout high{1, 6};
  for (uint32_t sb = 0; sb < 30; ++sb) {
    EXPECT_EQ(layer2_allocation_bits(high, sb), sb < 11 ? 4u : (sb < 23 ? 3u : 2u)) << sb;
  }
  const uint32_t low_row[] = {3, 7, 15, 31, 63, 127, 255, 511, 1023, 2047, 4095, 8191, 16383, 32767, 65535};
  const uint32_t mid_row[] = {3, 5, 7, 9, 15, 31, 63, 127, 255, 511, 1023, 2047, 4095, 8191, 65535};
  const uint32_t upper_row[] = {3, 5, 7, 9, 15, 31, 65535};
  const uint32_t top_row[] = {3, 5, 65535};
  for (uint32_t a = 1; a <= 15; ++a) {
    EXPECT_EQ(layer2_class(high, 2, a).levels, low_row[a - 1]) << a;
    EXPECT_EQ(layer2_class(high, 3, a).levels, mid_row[a - 1]) << a;
    EXPECT_EQ(layer2_class(high, 10, a).levels, mid_row[a - 1]) << a;
  }
  for (uint32_t a = 1; a <= 7; ++a) EXPECT_EQ(layer2_class(high, 22, a).levels, upper_row[a - 1]) << a;
  for (uint32_t a = 1; a <= 3; ++a) EXPECT_EQ(layer2_class(high, 29, a).levels, top_row[a - 1]) << a;
}

TEST(Layer2Allocation, LowRateMpeg1Table) {
  // one channel at 48 kbit/s (index 2)
  const Layer2Layout low{1, 2};
  EXPECT_EQ(layer2_allocation_bits(low, 0), 4u);
  EXPECT_EQ(layer2_allocation_bits(low, 1), 4u);
  EXPECT_EQ(layer2_allocation_bits(low, 2), 3u);
  EXPECT_EQ(layer2_allocation_bits(low, 11), 3u);
  EXPECT_EQ(layer2_class(low, 0, 3).levels, 9u);
  EXPECT_EQ(layer2_class(low, 0, 3).code_bits, 10u);
  EXPECT_EQ(layer2_class(low, 0, 15).levels, 32767u);
  EXPECT_EQ(layer2_class(low, 7, 7).levels, 127u);
}

TEST(Layer2Allocation, LsfFramesUseTheirOwnTableAtEveryRate) {
  for (uint32_t per_channel : {1u, 2u, 6u, 10u}) {
    const Layer2Layout lsf{0, per_channel};
    for (uint32_t sb = 0; sb < 30; ++sb) {
      EXPECT_EQ(layer2_allocation_bits(lsf, sb), sb < 4 ? 4u : (sb < 11 ? 3u : 2u)) << sb;
    }
    const uint32_t low_row[] = {3, 5, 7, 9, 15, 31, 63, 127, 255, 511, 1023, 2047, 4095, 8191, 16383};
    const uint32_t mid_row[] = {3, 5, 9, 15, 31, 63, 127};
    const uint32_t top_row[] = {3, 5, 9};
    for (uint32_t a = 1; a <= 15; ++a) EXPECT_EQ(layer2_class(lsf, 3, a).levels, low_row[a - 1]);
    for (uint32_t a = 1; a <= 7; ++a) EXPECT_EQ(layer2_class(lsf, 4, a).levels, mid_row[a - 1]);
    for (uint32_t a = 1; a <= 3; ++a) EXPECT_EQ(layer2_class(lsf, 29, a).levels, top_row[a - 1]);
  }
}

}  // namespace
}  // namespace mpegin
