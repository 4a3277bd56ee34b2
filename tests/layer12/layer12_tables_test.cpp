// The constant tables of Layers I and II and the allocation table lookups.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "bitstream/frame_header.h"
#include "layer12/layer1_tables.h"
#include "layer12/layer2_band.h"
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
    uint32_t levels;
    const float* values;
    size_t entries;
    std::vector<float> steps;  // the sample values, lowest first
    // A few whole entries: code, then its three values.
    std::vector<std::array<float, 4>> rows;
  };
  const Table tables[] = {
      {3, layer2_grouping_3.data(), layer2_grouping_3.size() / 3, {-0.6666667f, 0.0f, 0.6666667f},
       {{0, -0.6666667f, -0.6666667f, -0.6666667f}, {1, 0.0f, -0.6666667f, -0.6666667f},
        {5, 0.6666667f, 0.0f, -0.6666667f}, {21, -0.6666667f, 0.0f, 0.6666667f},
        {26, 0.6666667f, 0.6666667f, 0.6666667f}}},
      {5, layer2_grouping_5.data(), layer2_grouping_5.size() / 3, {-0.8f, -0.4f, 0.0f, 0.4f, 0.8f},
       {{0, -0.8f, -0.8f, -0.8f}, {7, 0.0f, -0.4f, -0.8f}, {62, 0.0f, 0.0f, 0.0f},
        {124, 0.8f, 0.8f, 0.8f}}},
      {9, layer2_grouping_9.data(), layer2_grouping_9.size() / 3,
       {-0.8888889f, -0.6666667f, -0.44444445f, -0.22222222f, 0.0f, 0.22222222f, 0.44444445f,
        0.6666667f, 0.8888889f},
       {{0, -0.8888889f, -0.8888889f, -0.8888889f}, {10, -0.6666667f, -0.6666667f, -0.8888889f},
        {364, 0.0f, 0.0f, 0.0f}, {728, 0.8888889f, 0.8888889f, 0.8888889f}}},
  };
  for (const Table& t : tables) {
    SCOPED_TRACE(t.levels);
    for (const auto& row : t.rows) {
      const size_t k = static_cast<size_t>(row[0]);
      for (size_t i = 0; i < 3; ++i) EXPECT_EQ(t.values[3 * k + i], row[1 + i]) << "code " << k;
    }
    // Every code reads back from its three values, first sample in the lowest digit.
    const size_t used = t.levels * t.levels * t.levels;
    for (size_t k = 0; k < used; ++k) {
      size_t code = 0;
      for (size_t i = 3; i-- > 0;) {
        const auto step = std::find(t.steps.begin(), t.steps.end(), t.values[3 * k + i]);
        ASSERT_NE(step, t.steps.end()) << "code " << k;
        code = code * t.levels + static_cast<size_t>(step - t.steps.begin());
      }
      ASSERT_EQ(code, k);
    }
    for (size_t k = used; k < t.entries; ++k) {
      for (int i = 0; i < 3; ++i) ASSERT_EQ(t.values[3 * k + i], 0.0f) << k;
    }
  }
}

TEST(Layer2Allocation, PerChannelIndexFollowsTheMode) {
  EXPECT_EQ(layer2_per_channel_index(2, 3), 2u);
  EXPECT_EQ(layer2_per_channel_index(4, 0), 1u);
  EXPECT_EQ(layer2_per_channel_index(10, 1), 6u);
  EXPECT_GT(layer2_per_channel_index(2, 0), 100u);  // not allowed for two channels: wraps
}

// Exposes the choice of table from a frame header.
struct LayoutProbe : Layer2Band {
  using Layer2Band::layout;
};

TEST(Layer2Allocation, EverySubbandTakesItsRowAtEveryRate) {
  // Levels by allocation value 1.. of each row of the Layer II allocation tables.
  const std::vector<uint32_t> rows[] = {
      {3, 7, 15, 31, 63, 127, 255, 511, 1023, 2047, 4095, 8191, 16383, 32767, 65535},  // A
      {3, 5, 7, 9, 15, 31, 63, 127, 255, 511, 1023, 2047, 4095, 8191, 65535},          // B
      {3, 5, 7, 9, 15, 31, 65535},                                                      // C
      {3, 5, 65535},                                                                    // D
      {3, 5, 9, 15, 31, 63, 127, 255, 511, 1023, 2047, 4095, 8191, 16383, 32767},       // E
      {3, 5, 9, 15, 31, 63, 127},                                                       // F
      {3, 5, 7, 9, 15, 31, 63, 127, 255, 511, 1023, 2047, 4095, 8191, 16383},           // G
      {3, 5, 9, 15, 31, 63, 127},                                                       // H
      {3, 5, 9},                                                                        // I
  };
  // Row of subbands 0..29 in each table.
  const char* high = "AAABBBBBBBBCCCCCCCCCCCCDDDDDDD";
  const char* low = "EEFFFFFFFFFFFFFFFFFFFFFFFFFFFF";
  const char* lsf = "GGGGHHHHHHHIIIIIIIIIIIIIIIIIII";
  struct Rate {
    uint32_t version, mode, bitrate_index;
    const char* table;
  };
  std::vector<Rate> rates;
  // MPEG-1: up to 48 kbit/s per channel the low-rate table, above it the high-rate one.
  for (uint32_t i = 1; i <= 10; ++i) rates.push_back({1, 3, i, i <= 2 ? low : high});
  for (uint32_t i = 4; i <= 14; ++i) if (i != 5) rates.push_back({1, 0, i, i <= 6 ? low : high});
  for (uint32_t i = 1; i <= 14; ++i) rates.push_back({0, i % 2 == 0 ? 1u : 3u, i, lsf});
  for (const Rate& r : rates) {
    FrameHeader header;
    header.version = r.version;
    header.mode = r.mode;
    header.bitrate_index = r.bitrate_index;
    const Layer2Layout layout = LayoutProbe::layout(header);
    for (uint32_t sb = 0; sb < 30; ++sb) {
      SCOPED_TRACE(testing::Message() << "version " << r.version << " mode " << r.mode << " index "
                                      << r.bitrate_index << " subband " << sb);
      const std::vector<uint32_t>& row = rows[r.table[sb] - 'A'];
      ASSERT_EQ(1u << layer2_allocation_bits(layout, sb), row.size() + 1);
      for (uint32_t a = 1; a <= row.size(); ++a) {
        const Layer2QuantClass& c = layer2_class(layout, sb, a);
        ASSERT_EQ(c.levels, row[a - 1]) << "allocation " << a;
        ASSERT_EQ(c.grouped, c.levels == 3 || c.levels == 5 || c.levels == 9);
      }
    }
  }
}

}  // namespace
}  // namespace mpegin
