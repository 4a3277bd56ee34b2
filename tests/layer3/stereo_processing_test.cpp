#include <gtest/gtest.h>

#include <cmath>

#include "layer3_test_support.h"

namespace mpegin {
namespace {

using test::StageHarness;

// A two-channel decoder with both channels' lines set by the test. 44100 Hz MPEG-1 or
// 22050 Hz LSF; long band b covers long_bounds[b] .. long_bounds[b+1] - 1.
struct StereoFixture {
  StereoFixture(uint32_t version, uint32_t mode, uint32_t mode_extension)
      : h(version, mode, 0) {
    h.mode_extension = mode_extension;
    for (uint32_t ch = 0; ch < 2; ++ch) {
      d.granule(ch, 0) = GranuleInfo{};
      d.scale_factors[ch] = Layer3ScaleFactors{};
      for (int i = 0; i < 576; ++i) d.requantized[ch][i] = 0.0f;
    }
  }
  void set(uint32_t ch, float value) {
    for (float& v : d.requantized[ch]) v = value;
  }
  void short_block(uint32_t ch, bool mixed) {
    GranuleInfo& gi = d.granule(ch, 0);
    gi.window_switching_flag = 1;
    gi.block_type = 2;
    gi.mixed_block_flag = mixed ? 1 : 0;
  }
  Layer3ScaleFactors& right() { return d.scale_factors[1]; }
  const float* left_out() const { return d.stereo_out[0][0]; }
  const float* right_out() const { return d.stereo_out[0][1]; }
  void run(int32_t nonzero_lines = 576) {
    process_stereo(d.requantized, h.coding(), d.granule(1, 0), d.scale_factors[1], h.bands(),
                   d.lsf_k, d.stereo_out[0], nonzero_lines);
  }

  StageHarness h;
  Layer3Scratch& d = h.s;
};

constexpr float kSqrt2 = 1.4142135f;

TEST(StereoProcessing, PlainStereoAndMidSide) {
  StereoFixture plain(1, 0, 3);  // mode 0: the mode extension means nothing
  plain.set(0, 0.25f);
  plain.set(1, -3.0f);
  plain.run();
  for (int i = 0; i < 576; ++i) {
    ASSERT_EQ(plain.left_out()[i], 0.25f);
    ASSERT_EQ(plain.right_out()[i], -3.0f);
  }

  StereoFixture ms(1, 1, 2);
  ms.set(0, 1.0f);
  ms.set(1, 1.0f);
  ms.d.requantized[1][5] = -1.0f;
  ms.run();
  EXPECT_FLOAT_EQ(ms.left_out()[0], kSqrt2);
  EXPECT_EQ(ms.right_out()[0], 0.0f);
  EXPECT_EQ(ms.left_out()[5], 0.0f);
  EXPECT_FLOAT_EQ(ms.right_out()[5], kSqrt2);
  EXPECT_FLOAT_EQ(ms.left_out()[575], kSqrt2);

  // Lines past the decoded ones: +0 out, whatever the output held before.
  StereoFixture bounded(1, 1, 2);
  for (int i = 0; i < 100; ++i) bounded.d.requantized[0][i] = 1.0f;
  for (float* channel : bounded.d.stereo_out[0])
    for (int i = 0; i < 576; ++i) channel[i] = -7.0f;
  bounded.run(100);
  EXPECT_FLOAT_EQ(bounded.left_out()[99], 1.0f / kSqrt2);
  for (int i = 100; i < 576; ++i) {
    ASSERT_EQ(std::signbit(bounded.left_out()[i]) || bounded.left_out()[i] != 0.0f, false) << i;
    ASSERT_EQ(std::signbit(bounded.right_out()[i]) || bounded.right_out()[i] != 0.0f, false) << i;
  }
}

TEST(StereoProcessing, SingleChannelCopiesTheFirstChannel) {
  StereoFixture f(1, 3, 0);
  for (int i = 0; i < 576; ++i) f.d.requantized[0][i] = static_cast<float>(i);
  f.run();
  for (int i = 0; i < 576; ++i) ASSERT_EQ(f.left_out()[i], static_cast<float>(i));
}

TEST(StereoProcessing, Mpeg1IntensityLongBlockSplitsByPosition) {
  StereoFixture f(1, 1, 1);
  f.set(0, 2.0f);
  f.right().scalefac_l[1] = 0;  // all in the right channel
  f.right().scalefac_l[2] = 3;  // equal halves
  f.right().scalefac_l[3] = 6;  // almost all in the left channel
  f.right().scalefac_l[4] = 7;  // not intensity-coded
  f.right().scalefac_l[5] = 12;
  f.right().scalefac_l[20] = 1;
  f.run();
  // The right channel is silent, so every band is intensity-coded, band 0 (lines 0..3,
  // position 0) too.
  EXPECT_EQ(f.left_out()[0], 0.0f);
  EXPECT_EQ(f.right_out()[3], 2.0f);
  EXPECT_EQ(f.left_out()[4], 0.0f);
  EXPECT_EQ(f.right_out()[4], 2.0f);
  EXPECT_FLOAT_EQ(f.left_out()[8], 1.0f);
  EXPECT_FLOAT_EQ(f.right_out()[11], 1.0f);
  EXPECT_FLOAT_EQ(f.left_out()[12], 2.0f);
  EXPECT_NEAR(f.right_out()[12], 2.0e-11f, 1e-16f);
  EXPECT_EQ(f.left_out()[16], 2.0f);
  EXPECT_EQ(f.right_out()[16], 0.0f);
  EXPECT_EQ(f.left_out()[20], 0.0f);
  EXPECT_EQ(f.right_out()[20], 2.0f);
  // Band 21 (418..575) takes over the position of band 20.
  const float ratio = 0.26794919f;
  EXPECT_FLOAT_EQ(f.left_out()[342], 2.0f * ratio / (1.0f + ratio));
  EXPECT_FLOAT_EQ(f.left_out()[500], f.left_out()[342]);
  EXPECT_FLOAT_EQ(f.right_out()[575], f.right_out()[342]);
}

TEST(StereoProcessing, Mpeg1IntensityStartsAboveTheRightChannelsLastLine) {
  StereoFixture f(1, 1, 3);  // intensity and mid/side
  f.set(0, 1.0f);
  f.d.requantized[1][40] = 1.0f;  // long band 8 (36..43)
  for (int b = 0; b < 21; ++b) f.right().scalefac_l[b] = 0;
  f.run();
  EXPECT_FLOAT_EQ(f.left_out()[40], kSqrt2);  // mid/side below the intensity bound
  EXPECT_FLOAT_EQ(f.left_out()[43], 1.0f / kSqrt2);
  EXPECT_EQ(f.left_out()[44], 0.0f);          // band 9: intensity position 0
  EXPECT_EQ(f.right_out()[44], 1.0f);
}

TEST(StereoProcessing, Mpeg1PositionsOutsideTheAngleRangeStayFinite) {
  // Four-bit scale factors can carry positions 8..15; position 9 has the ratio -1, whose
  // intensity formula would divide by zero. It is decoded as a line without intensity.
  for (int32_t position = 8; position < 16; ++position) {
    StereoFixture f(1, 1, 1);
    f.set(0, 1.0f);
    for (int b = 0; b < 21; ++b) f.right().scalefac_l[b] = position;
    f.run();
    for (int i = 0; i < 576; ++i) {
      ASSERT_TRUE(std::isfinite(f.left_out()[i])) << position << " " << i;
      ASSERT_TRUE(std::isfinite(f.right_out()[i])) << position << " " << i;
    }
    if (position == 9) {
      EXPECT_EQ(f.left_out()[100], 1.0f);
      EXPECT_EQ(f.right_out()[100], 0.0f);
    }
    if (position == 12) {
      EXPECT_EQ(f.left_out()[100], 0.0f);
      EXPECT_EQ(f.right_out()[100], 1.0f);
    }
  }
}

TEST(StereoProcessing, Mpeg1IntensityShortBlocksWorkPerWindow) {
  StereoFixture f(1, 1, 1);
  f.short_block(0, false);
  f.short_block(1, false);
  f.set(0, 4.0f);
  // 44100 Hz short bands: band 5 is lines 22..29 of each window (width 8), at 3 * 22 = 66.
  f.d.requantized[1][66 + 8 + 3] = 0.5f;  // band 5, window 1
  for (int w = 0; w < 3; ++w)
    for (int b = 0; b < 12; ++b) f.right().scalefac_s[w][b] = 0;
  f.right().scalefac_s[2][11] = 3;
  f.run();
  // Window 0 and 2: every band is intensity-coded; window 1 only above band 5.
  EXPECT_EQ(f.left_out()[0], 0.0f);
  EXPECT_EQ(f.right_out()[0], 4.0f);
  EXPECT_EQ(f.left_out()[66 + 8], 4.0f);   // band 5, window 1: plain
  EXPECT_EQ(f.right_out()[66 + 8 + 3], 0.5f);
  const int band6 = 3 * 30;                 // width 10
  EXPECT_EQ(f.left_out()[band6 + 10], 0.0f);  // band 6, window 1: intensity
  EXPECT_EQ(f.right_out()[band6 + 10], 4.0f);
  // Band 12 (width 56, at 408) takes the position of band 11 (width 30, at 318) per window.
  EXPECT_FLOAT_EQ(f.left_out()[318 + 60], 2.0f);
  EXPECT_FLOAT_EQ(f.left_out()[408 + 112], 2.0f);
  EXPECT_FLOAT_EQ(f.right_out()[575], 2.0f);
  EXPECT_EQ(f.left_out()[408], 0.0f);
}

TEST(StereoProcessing, IntensityFollowsTheRightChannelsBlockType) {
  // The positions are the right channel's scale factors, laid out by its own block type.
  StereoFixture f(1, 1, 1);
  f.short_block(1, false);  // left long, right short
  f.set(0, 1.0f);
  for (int w = 0; w < 3; ++w)
    for (int b = 0; b < 12; ++b) f.right().scalefac_s[w][b] = 3;
  for (int b = 0; b < 21; ++b) f.right().scalefac_l[b] = 7;  // would leave it uncoded
  f.run();
  EXPECT_FLOAT_EQ(f.left_out()[0], 0.5f);
  EXPECT_FLOAT_EQ(f.right_out()[200], 0.5f);
}

TEST(StereoProcessing, Mpeg1MixedBlockCodesTheLongPartWhenTheShortPartIsSilent) {
  StereoFixture f(1, 1, 1);
  f.short_block(0, true);
  f.short_block(1, true);
  f.set(0, 1.0f);
  f.d.requantized[1][10] = 1.0f;  // long band 2 (8..11)
  for (int b = 0; b < 8; ++b) f.right().scalefac_l[b] = 0;
  for (int w = 0; w < 3; ++w)
    for (int b = 3; b < 12; ++b) f.right().scalefac_s[w][b] = 0;
  f.run();
  EXPECT_EQ(f.left_out()[11], 1.0f);   // long band 2: plain
  EXPECT_EQ(f.left_out()[12], 0.0f);   // long bands 3..7: intensity
  EXPECT_EQ(f.right_out()[35], 1.0f);
  EXPECT_EQ(f.left_out()[36], 0.0f);   // short bands from 3 up
  EXPECT_EQ(f.right_out()[575], 1.0f);

  // With signal in the short part, the long part is left alone.
  f.d.requantized[1][36] = 1.0f;  // short band 3, window 0
  f.run();
  EXPECT_EQ(f.left_out()[20], 1.0f);
  EXPECT_EQ(f.left_out()[37], 1.0f);  // band 3, window 0 (36..39): plain
  EXPECT_EQ(f.left_out()[48], 0.0f);  // band 4, window 0: intensity
  EXPECT_EQ(f.left_out()[40], 0.0f);  // band 3, window 1: silent window, intensity
}

TEST(StereoProcessing, LsfMixedBlockLongPartEndsAtLine36) {
  // In the LSF band tables line 36 is the end of long band 5; from there on the lines belong
  // to short band 3 and take its positions, as in requantisation and reordering.
  StereoFixture f(0, 1, 1);
  f.short_block(0, true);
  f.short_block(1, true);
  f.set(0, 1.0f);
  for (int b = 0; b < 8; ++b) f.right().scalefac_l[b] = 1;  // left attenuated by 2^(-1/4)
  for (int w = 0; w < 3; ++w)
    for (int b = 3; b < 12; ++b) f.right().scalefac_s[w][b] = 0;  // both at full level
  f.run();
  EXPECT_FLOAT_EQ(f.left_out()[0], 0.84089642f);
  EXPECT_FLOAT_EQ(f.left_out()[35], 0.84089642f);
  for (int i = 36; i < 54; ++i) {
    EXPECT_EQ(f.left_out()[i], 1.0f) << i;
    EXPECT_EQ(f.right_out()[i], 1.0f) << i;
  }
}

TEST(StereoProcessing, LsfIntensityScalesOneChannelByPosition) {
  StereoFixture f(0, 1, 1);
  f.set(0, 1.0f);
  // 22050 Hz long bands: 1 = 6..11, 2 = 12..17, 3 = 18..23, 4 = 24..29, 5 = 30..35.
  f.right().scalefac_l[1] = 1;
  f.right().scalefac_l[2] = 2;
  f.right().scalefac_l[3] = 0;
  f.right().scalefac_l[4] = 7;
  f.right().scalefac_l[5] = 31;
  f.d.granule(1, 0).scalefac_compress = 2 * 100;  // intensity scale 0: 2^(-1/4) steps
  f.d.granule(0, 0).scalefac_compress = 1;        // the left channel's bit is not used
  f.run();
  EXPECT_FLOAT_EQ(f.left_out()[6], 0.84089642f);
  EXPECT_EQ(f.right_out()[6], 1.0f);
  EXPECT_EQ(f.left_out()[12], 1.0f);
  EXPECT_FLOAT_EQ(f.right_out()[12], 0.84089642f);
  EXPECT_EQ(f.left_out()[18], 1.0f);
  EXPECT_EQ(f.right_out()[18], 1.0f);
  EXPECT_EQ(f.left_out()[24], 1.0f);   // position 7: not intensity-coded
  EXPECT_EQ(f.right_out()[24], 0.0f);
  EXPECT_EQ(f.left_out()[30], 0.0625f);  // position 31: 2^(-16/4)

  f.d.granule(1, 0).scalefac_compress = 2 * 100 + 1;  // intensity scale 1: 2^(-1/2)
  f.d.granule(0, 0).scalefac_compress = 0;
  f.run();
  EXPECT_FLOAT_EQ(f.left_out()[6], 0.70710677f);
  EXPECT_FLOAT_EQ(f.right_out()[12], 0.70710677f);
  EXPECT_EQ(f.left_out()[30], std::ldexp(1.0f, -8));
}

}  // namespace
}  // namespace mpegin
