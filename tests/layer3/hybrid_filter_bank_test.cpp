#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <limits>
#include <set>

#include "layer3/antialias.h"
#include "layer3/hybrid_synthesis.h"
#include "layer3/imdct.h"
#include "layer3/reorder.h"
#include "layer3/reorder_table.h"
#include "layer3/scale_factor_band_table.h"
#include "layer3_test_support.h"

namespace mpegin {
namespace {

using test::StageHarness;

struct FilterBankFixture {
  explicit FilterBankFixture(uint32_t version = 1, uint32_t sample_frequency = 0)
      : h(version, 3, sample_frequency) {
    gi = GranuleInfo{};
  }
  void block(int32_t type, bool mixed) {
    gi.window_switching_flag = type != 0 || mixed ? 1 : 0;
    gi.block_type = type;
    gi.mixed_block_flag = mixed ? 1 : 0;
  }
  void fill_hybrid_with_indexes() {
    for (int i = 0; i < 576; ++i) d.hybrid[i] = static_cast<float>(i);
  }

  StageHarness h;
  Layer3Scratch& d = h.s;
  GranuleInfo& gi = d.granule(0, 0);
};

TEST(Reorder, ReorderTableIsAPermutationWithinEachShortBand) {
  prepare_layer3_tables();
  for (int t = 0; t < 6; ++t) {
    std::set<int32_t> seen(reorder_table[t], reorder_table[t] + 576);
    EXPECT_EQ(seen.size(), 576u) << t;
    EXPECT_EQ(*seen.begin(), 0) << t;
    EXPECT_EQ(*seen.rbegin(), 575) << t;
    const int32_t* bounds = band_tables[t].short_bounds;
    for (int b = 0; b < 13; ++b) {
      for (int i = 3 * bounds[b]; i < 3 * bounds[b + 1]; ++i) {
        ASSERT_GE(reorder_table[t][i], 3 * bounds[b]);
        ASSERT_LT(reorder_table[t][i], 3 * bounds[b + 1]);
      }
    }
  }
  const int32_t row3[] = {0, 4, 8, 1, 5, 9, 2, 6, 10, 3, 7, 11, 12, 16, 20, 13};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(reorder_table[3][i], row3[i]) << i;
}

TEST(Reorder, LongBlocksAreCopiedAndShortBlocksInterleaveTheirWindows) {
  FilterBankFixture f;  // 44100 Hz
  float source[576];
  for (int i = 0; i < 576; ++i) source[i] = static_cast<float>(i);
  f.block(3, false);
  reorder(source, f.gi, f.h.band_table, f.d.hybrid);
  for (int i = 0; i < 576; ++i) ASSERT_EQ(f.d.hybrid[i], source[i]);

  f.block(2, false);
  reorder(source, f.gi, f.h.band_table, f.d.hybrid);
  const float first[] = {0, 4, 8, 1, 5, 9};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(f.d.hybrid[i], first[i]);
  // Line 3k + w of a subband is coefficient k of window w; lines 18..20 are coefficient 2 of
  // short band 1 (width 4, windows at 12, 16, 20).
  EXPECT_EQ(f.d.hybrid[18], 14.0f);  // band 1, f = 2, window 0 (12 + 2)
  EXPECT_EQ(f.d.hybrid[19], 18.0f);  // window 1 (12 + 4 + 2)
  EXPECT_EQ(f.d.hybrid[20], 22.0f);  // window 2

  f.block(2, true);
  reorder(source, f.gi, f.h.band_table, f.d.hybrid);
  for (int i = 0; i < 36; ++i) ASSERT_EQ(f.d.hybrid[i], source[i]);
  // From short band 3 on (at 36, width 4) the windows are interleaved as in a short block.
  const float band3[] = {36, 40, 44, 37, 41, 45};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(f.d.hybrid[36 + i], band3[i]);
  for (int i = 36; i < 576; ++i) ASSERT_EQ(f.d.hybrid[i], source[reorder_table[3][i]]);
}

TEST(Antialias, ButterfliesCrossTheSubbandBoundariesOfLongBlocks) {
  const double c[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(alias_cs[i], static_cast<float>(1.0 / std::sqrt(1.0 + c[i] * c[i]))) << i;
    EXPECT_EQ(alias_ca[i], static_cast<float>(c[i] / std::sqrt(1.0 + c[i] * c[i]))) << i;
  }

  for (int32_t type : {0, 1, 3}) {
    FilterBankFixture f;
    f.block(type, false);
    for (float& v : f.d.hybrid) v = 0.0f;
    f.d.hybrid[17] = 1.0f;        // subband 0, top line
    f.d.hybrid[18 * 31] = 1.0f;   // subband 31, bottom line
    f.d.hybrid[18 * 5 + 8] = 3.0f;  // lines 8 and 9 lie between the butterflies of a subband
    f.d.hybrid[18 * 5 + 9] = 3.0f;
    antialias(f.gi, f.d.hybrid);
    EXPECT_FLOAT_EQ(f.d.hybrid[17], alias_cs[0]) << type;
    EXPECT_FLOAT_EQ(f.d.hybrid[18], alias_ca[0]) << type;
    EXPECT_FLOAT_EQ(f.d.hybrid[18 * 31], alias_cs[0]) << type;
    EXPECT_FLOAT_EQ(f.d.hybrid[18 * 30 + 17], -alias_ca[0]) << type;
    EXPECT_EQ(f.d.hybrid[18 * 5 + 8], 3.0f) << type;
    EXPECT_EQ(f.d.hybrid[18 * 5 + 9], 3.0f) << type;
  }
}

// Sound that ends in a subband still crosses into the silent subband above it, and the silent
// subbands above that stay silent; a negative zero is silence too.
TEST(Antialias, SoundEndingInASubbandCrossesIntoTheSilentOneAbove) {
  for (int32_t top : {0, 7, 30}) {
    FilterBankFixture f;
    f.block(0, false);
    for (float& v : f.d.hybrid) v = 0.0f;
    f.d.hybrid[18 * top + 17] = 2.0f;  // top line of the highest subband with sound
    f.d.hybrid[18 * (top + 1) + 5] = -0.0f;
    antialias(f.gi, f.d.hybrid);
    EXPECT_FLOAT_EQ(f.d.hybrid[18 * top + 17], 2.0f * alias_cs[0]) << top;
    EXPECT_FLOAT_EQ(f.d.hybrid[18 * (top + 1)], 2.0f * alias_ca[0]) << top;
    for (int i = 18 * (top + 1) + 1; i < 576; ++i) ASSERT_EQ(f.d.hybrid[i], 0.0f) << top << " " << i;
    EXPECT_EQ(active_subbands(f.d.hybrid), top + 2) << top;
  }
}

// Any line that is not a zero of either sign makes its subband sound, wherever it lies in the
// subband: the smallest denormal, a NaN and an ordinary value; negative zeros alone do not.
TEST(HybridSynthesis, HighestSubbandWithSoundIsFoundAtEveryLine) {
  FilterBankFixture f;
  const float sounds[] = {std::numeric_limits<float>::denorm_min(), -std::numeric_limits<float>::quiet_NaN(), -3.0f};
  for (int32_t sb : {0, 1, 16, 31}) {
    for (int32_t t = 0; t < 18; ++t) {
      for (float sound : sounds) {
        for (float& v : f.d.hybrid) v = -0.0f;
        ASSERT_EQ(active_subbands(f.d.hybrid), 0);
        f.d.hybrid[18 * sb + t] = sound;
        ASSERT_EQ(active_subbands(f.d.hybrid), sb + 1) << sb << " " << t << " " << sound;
      }
    }
  }
}

TEST(Antialias, ShortBlocksAreLeftAloneAndMixedBlocksOnlyAtTheLongBoundary) {
  FilterBankFixture f;
  f.block(2, false);
  f.fill_hybrid_with_indexes();
  antialias(f.gi, f.d.hybrid);
  for (int i = 0; i < 576; ++i) ASSERT_EQ(f.d.hybrid[i], static_cast<float>(i));

  f.block(2, true);
  antialias(f.gi, f.d.hybrid);
  const float bu = 17.0f, bd = 18.0f;
  EXPECT_FLOAT_EQ(f.d.hybrid[17], bu * alias_cs[0] - bd * alias_ca[0]);
  EXPECT_FLOAT_EQ(f.d.hybrid[18], bd * alias_cs[0] + bu * alias_ca[0]);
  for (int i = 18 + 8; i < 576; ++i) ASSERT_EQ(f.d.hybrid[i], static_cast<float>(i)) << i;
}

TEST(HybridSynthesis, OverlapAddJoinsGranulesPerSubband) {
  FilterBankFixture f;
  for (float& v : f.d.hybrid) v = 0.0f;
  f.d.hybrid[0] = 1.0f;
  f.d.hybrid[18 * 7 + 3] = -2.0f;
  float expected[36];
  {
    float x[18] = {1.0f};
    imdct(x, expected, 0);
  }
  hybrid_synthesis(f.gi, f.d.hybrid, f.h.overlap[0]);
  for (int t = 0; t < 18; ++t) {
    EXPECT_EQ(f.d.hybrid[t], expected[t]);
    EXPECT_EQ(f.h.overlap[0][0][t], expected[18 + t]);
    EXPECT_EQ(f.d.hybrid[18 + t], 0.0f);  // subband 1 silent
  }
  // The next silent granule yields the kept halves.
  for (float& v : f.d.hybrid) v = 0.0f;
  hybrid_synthesis(f.gi, f.d.hybrid, f.h.overlap[0]);
  for (int t = 0; t < 18; ++t) EXPECT_EQ(f.d.hybrid[t], expected[18 + t]);
  float subband7[36];
  {
    float x[18] = {};
    x[3] = -2.0f;
    imdct(x, subband7, 0);
  }
  for (int t = 0; t < 18; ++t) EXPECT_EQ(f.d.hybrid[18 * 7 + t], subband7[18 + t]);
  for (int t = 0; t < 18; ++t) EXPECT_EQ(f.h.overlap[0][0][t], 0.0f);
}

TEST(HybridSynthesis, ShortBlocksAddNothingToTheFirstAndLastSixSamples) {
  FilterBankFixture f;
  for (float& v : f.d.hybrid) v = 0.5f;  // a long granule leaves an overlap everywhere
  hybrid_synthesis(f.gi, f.d.hybrid, f.h.overlap[0]);
  float kept[18];
  for (int t = 0; t < 18; ++t) kept[t] = f.h.overlap[0][4][t];

  f.block(2, false);
  for (float& v : f.d.hybrid) v = 1.0f;
  hybrid_synthesis(f.gi, f.d.hybrid, f.h.overlap[0]);
  for (int t = 0; t < 6; ++t) EXPECT_EQ(f.d.hybrid[18 * 4 + t], kept[t]);
  EXPECT_NE(f.d.hybrid[18 * 4 + 6], kept[6]);
  for (int t = 12; t < 18; ++t) EXPECT_EQ(f.h.overlap[0][4][t], 0.0f);
}

TEST(HybridSynthesis, MixedBlocksTransformTheTwoLowestSubbandsAsLongBlocks) {
  FilterBankFixture f;
  f.block(2, true);
  for (float& v : f.d.hybrid) v = 1.0f;
  hybrid_synthesis(f.gi, f.d.hybrid, f.h.overlap[0]);
  float long_result[36], short_result[36];
  float ones[18];
  for (float& v : ones) v = 1.0f;
  imdct(ones, long_result, 0);
  for (float& v : ones) v = 1.0f;
  imdct(ones, short_result, 2);
  for (int t = 0; t < 18; ++t) {
    EXPECT_EQ(f.d.hybrid[18 + t], long_result[t]);
    EXPECT_EQ(f.d.hybrid[36 + t], short_result[t]);
    EXPECT_EQ(f.h.overlap[0][1][t], long_result[18 + t]);
  }
}

TEST(FrequencyInversion, NegatesOddSlotsOfOddSubbands) {
  FilterBankFixture f;
  f.fill_hybrid_with_indexes();
  invert_frequencies(f.d.hybrid);
  for (int sb = 0; sb < 32; ++sb) {
    for (int t = 0; t < 18; ++t) {
      const float original = static_cast<float>(18 * sb + t);
      const bool inverted = (sb % 2 == 1) && (t % 2 == 1);
      ASSERT_EQ(f.d.hybrid[18 * sb + t], inverted ? -original : original) << sb << " " << t;
    }
  }
}

// Two granules through the filter bank against a subband-by-subband transform and overlap-add,
// with the highest subband with sound anywhere (also inside a group of four transformed
// together), for every block type and mixed blocks.
TEST(HybridSynthesis, EverySubbandMatchesItsOwnTransformAndOverlap) {
  std::mt19937 rng(99);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  for (int kind = 0; kind < 5; ++kind) {
    for (int top = 0; top <= 32; ++top) {
      FilterBankFixture f;
      const int32_t type = kind == 4 ? 2 : kind;
      f.block(type, kind == 4);
      float kept[32][18] = {};
      for (int granule = 0; granule < 2; ++granule) {
        for (int i = 0; i < 576; ++i) f.d.hybrid[i] = i < 18 * top ? unit(rng) : 0.0f;
        float expected[576];
        for (int sb = 0; sb < 32; ++sb) {
          float x[18];
          std::copy(f.d.hybrid + 18 * sb, f.d.hybrid + 18 * sb + 18, x);
          float r[36];
          imdct(x, r, kind == 4 && sb < 2 ? 0 : type);
          for (int t = 0; t < 18; ++t) {
            expected[18 * sb + t] = r[t] + kept[sb][t];
            kept[sb][t] = r[18 + t];
          }
        }
        hybrid_synthesis(f.gi, f.d.hybrid, f.h.overlap[0]);
        for (int i = 0; i < 576; ++i)
          ASSERT_EQ(f.d.hybrid[i], expected[i]) << "kind " << kind << " top " << top << " line " << i;
        for (int sb = 0; sb < 32; ++sb)
          for (int t = 0; t < 18; ++t) ASSERT_EQ(f.h.overlap[0][sb][t], kept[sb][t]) << kind << " " << sb;
      }
    }
  }
}

// All eight butterflies of every boundary on random lines, against the butterfly formula.
TEST(AntialiasSimd, EveryButterflyOfEveryBoundaryFollowsTheFormula) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  FilterBankFixture f;
  float source[576];
  for (float& v : source) v = unit(rng);
  std::copy(source, source + 576, f.d.hybrid);
  antialias(f.gi, f.d.hybrid);
  for (int sb = 0; sb < 32; ++sb) {
    for (int i = 0; i < 8; ++i) {
      const int up = 18 * sb + 17 - i;
      const int down = 18 * sb + 18 + i;
      if (sb < 31) {
        ASSERT_EQ(f.d.hybrid[up], source[up] * alias_cs[i] - source[down] * alias_ca[i]) << sb << " " << i;
        ASSERT_EQ(f.d.hybrid[down], source[down] * alias_cs[i] + source[up] * alias_ca[i]) << sb << " " << i;
      }
    }
    for (int t = 8; t < 10; ++t) ASSERT_EQ(f.d.hybrid[18 * sb + t], source[18 * sb + t]);
  }
  for (int i = 0; i < 8; ++i) ASSERT_EQ(f.d.hybrid[i], source[i]);
  for (int i = 0; i < 8; ++i) ASSERT_EQ(f.d.hybrid[575 - i], source[575 - i]);
}

}  // namespace
}  // namespace mpegin
