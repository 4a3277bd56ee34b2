#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>

#include "layer3/requantize.h"
#include "layer3/requantize_tables.h"
#include "layer3/scale_factor_band_table.h"
#include "layer3/stereo_tables.h"
#include "layer3_test_support.h"

namespace mpegin {
namespace {

using test::StageHarness;

// One channel of a decoder with a clean granule: unit global gain (210), no scale factors.
struct RequantizeFixture {
  explicit RequantizeFixture(uint32_t version = 1, uint32_t sample_frequency = 0)
      : h(version, 3, sample_frequency) {
    gi = GranuleInfo{};
    gi.global_gain = 210;
    sf = Layer3ScaleFactors{};
    for (int32_t& v : d.quantized) v = 0;
    d.nonzero_count[0] = 576;
  }
  void short_block(bool mixed) {
    gi.window_switching_flag = 1;
    gi.block_type = 2;
    gi.mixed_block_flag = mixed ? 1 : 0;
  }
  // Requantises a granule whose every line is 1, so that each line shows its scale.
  const float* scales() {
    for (int32_t& v : d.quantized) v = 1;
    run();
    return d.requantized[0];
  }
  void run(SimdPath path = simd_path()) {
    requantize(d.quantized, d.nonzero_count[0], gi, sf, h.bands(), d.requantized[0], path);
  }

  StageHarness h;
  Layer3Scratch& d = h.s;
  GranuleInfo& gi = d.granule(0, 0);
  Layer3ScaleFactors& sf = d.scale_factors[0];
};

TEST(RequantizeTables, HoldThePowersOfTheStandard) {
  EXPECT_EQ(pow43_table[0], 0.0f);
  EXPECT_EQ(pow43_table[1], 1.0f);
  EXPECT_FLOAT_EQ(pow43_table[2], 2.5198421f);
  EXPECT_FLOAT_EQ(pow43_table[8], 16.0f);
  // The committed table is the double-precision power rounded to float, entry for entry.
  for (int32_t n = 0; n < pow43_table_size; ++n)
    ASSERT_EQ(pow43_table[n], static_cast<float>(std::pow(static_cast<double>(n), 4.0 / 3.0))) << n;
  for (int32_t g = 0; g < global_gain_table_size; ++g)
    ASSERT_EQ(global_gain_table[g], static_cast<float>(std::pow(2.0, (g - 210) * 0.25))) << g;
  EXPECT_EQ(global_gain_table[210], 1.0f);
  EXPECT_EQ(global_gain_table[214], 2.0f);
  EXPECT_EQ(scale_step_table[0], 1.0f);
  EXPECT_FLOAT_EQ(scale_step_table[1], 0.70710677f);
  EXPECT_EQ(scale_step_table[2], 0.5f);
  EXPECT_EQ(scale_step_table[62], std::ldexp(1.0f, -31));
  EXPECT_EQ(pretab[11], 1);
  EXPECT_EQ(pretab[17], 3);
  EXPECT_EQ(pretab[21], 0);
}

TEST(StereoTables, IntensityRatiosAvoidTheInfiniteTangent) {
  EXPECT_EQ(intensity_ratio_table[0], 0.0f);
  EXPECT_FLOAT_EQ(intensity_ratio_table[1], 0.26794919f);
  EXPECT_FLOAT_EQ(intensity_ratio_table[3], 1.0f);
  EXPECT_EQ(intensity_ratio_table[6], 1.0e11f);
  EXPECT_FLOAT_EQ(intensity_ratio_table[7], -3.7320509f);
  EXPECT_FLOAT_EQ(intensity_ratio_table[9], -1.0f);
  EXPECT_EQ(intensity_ratio_table[12], 0.0f);
  EXPECT_FLOAT_EQ(intensity_ratio_table[15], 1.0f);
  EXPECT_EQ(lsf_intensity_table[0][0], 1.0f);
  EXPECT_FLOAT_EQ(lsf_intensity_table[0][1], 0.84089642f);
  EXPECT_EQ(lsf_intensity_table[0][4], 0.5f);
  EXPECT_FLOAT_EQ(lsf_intensity_table[1][1], 0.70710677f);
  EXPECT_EQ(lsf_intensity_table[1][16], std::ldexp(1.0f, -8));
}

TEST(Requantize, CountOfDecodedLinesBoundsTheOutput) {
  RequantizeFixture f;
  for (float& v : f.d.requantized[0]) v = 7.0f;
  for (int32_t& v : f.d.quantized) v = 3;
  f.d.nonzero_count[0] = 0;
  f.run();
  for (float v : f.d.requantized[0]) ASSERT_EQ(v, 0.0f);

  f.d.nonzero_count[0] = 576;
  f.run();
  for (float v : f.d.requantized[0]) ASSERT_EQ(v, pow43_table[3]);

  f.d.nonzero_count[0] = 100;
  f.run();
  EXPECT_EQ(f.d.requantized[0][99], pow43_table[3]);
  EXPECT_EQ(f.d.requantized[0][100], 0.0f);
}

TEST(Requantize, UnitGainGivesSignedPowerLaw) {
  RequantizeFixture f;
  f.d.quantized[0] = 1;
  f.d.quantized[1] = -2;
  f.d.quantized[2] = 15;
  f.run();
  EXPECT_EQ(f.d.requantized[0][0], 1.0f);
  EXPECT_FLOAT_EQ(f.d.requantized[0][1], -2.5198419f);
  EXPECT_EQ(f.d.requantized[0][2], pow43_table[15]);
  EXPECT_EQ(f.d.requantized[0][3], 0.0f);

  f.gi.global_gain = 214;  // one step of 2^(1/4) per unit: four units double
  f.run();
  EXPECT_EQ(f.d.requantized[0][0], 2.0f);
}

TEST(Requantize, MagnitudesBeyondTheTableAreComputed) {
  RequantizeFixture f;
  f.d.quantized[0] = 8191;
  f.d.quantized[1] = 8192;
  f.d.quantized[2] = -8206;  // 15 + 8191, the largest value 13 linbits can give
  f.run();
  EXPECT_EQ(f.d.requantized[0][0], pow43_table[8191]);
  EXPECT_FLOAT_EQ(f.d.requantized[0][1], static_cast<float>(std::pow(8192.0, 4.0 / 3.0)));
  EXPECT_FLOAT_EQ(f.d.requantized[0][2], -static_cast<float>(std::pow(8206.0, 4.0 / 3.0)));
  EXPECT_GT(f.d.requantized[0][1], f.d.requantized[0][0]);
}

TEST(Requantize, LongBandsApplyScaleFactorsAndPreEmphasis) {
  RequantizeFixture f;  // MPEG-1, 44100 Hz: band 11 is lines 62..73
  f.gi.preflag = 1;
  const float* out = f.scales();
  EXPECT_EQ(out[61], 1.0f);
  EXPECT_FLOAT_EQ(out[62], 0.70710677f);  // pretab[11] = 1, half steps
  EXPECT_FLOAT_EQ(out[73], 0.70710677f);
  f.gi.scalefac_scale = 1;
  out = f.scales();
  EXPECT_EQ(out[62], 0.5f);
  EXPECT_EQ(out[200], 0.125f);  // band 17 (196..237): pretab 3, whole steps

  f.gi.preflag = 0;
  f.gi.scalefac_scale = 0;
  f.sf.scalefac_l[0] = 2;
  f.sf.scalefac_l[20] = 4;
  f.sf.scalefac_l[21] = 0;
  out = f.scales();
  EXPECT_EQ(out[3], 0.5f);
  EXPECT_EQ(out[4], 1.0f);
  EXPECT_EQ(out[342], 0.25f);  // band 20: 342..417
  EXPECT_EQ(out[417], 0.25f);
  EXPECT_EQ(out[418], 1.0f);   // band 21 carries no scale factor
  EXPECT_EQ(out[575], 1.0f);
}

TEST(Requantize, ShortBlocksScaleEachWindowOfEachBand) {
  RequantizeFixture f;  // 44100 Hz: short band 0 is 4 lines per window
  f.short_block(false);
  f.gi.subblock_gain[2] = 1;
  f.sf.scalefac_s[1][0] = 2;
  f.sf.scalefac_s[0][1] = 4;
  const float* out = f.scales();
  for (int i = 0; i < 4; ++i) EXPECT_EQ(out[i], 1.0f) << i;       // band 0, window 0
  for (int i = 4; i < 8; ++i) EXPECT_EQ(out[i], 0.5f) << i;       // band 0, window 1
  for (int i = 8; i < 12; ++i) EXPECT_EQ(out[i], 0.25f) << i;     // band 0, window 2
  for (int i = 12; i < 16; ++i) EXPECT_EQ(out[i], 0.25f) << i;    // band 1, window 0
  EXPECT_EQ(out[3 * 136 + 2 * 56], 0.25f);                        // band 12, window 2
}

TEST(Requantize, ExponentsBeyondTheStepTableAreComputed) {
  // Five-bit intensity scale factors of an LSF right channel with the coarse scale and the
  // largest subblock gain: 2 * 31 + 4 * 7 = 90 half steps.
  RequantizeFixture f(0);
  f.short_block(false);
  f.gi.scalefac_scale = 1;
  f.gi.subblock_gain[0] = 7;
  f.sf.scalefac_s[0][0] = 31;
  f.sf.scalefac_s[1][0] = 31;
  f.d.quantized[0] = 1;   // window 0: M = 90
  f.d.quantized[4] = -1;  // window 1: M = 62
  f.d.quantized[1] = 8206;
  f.gi.global_gain = 0;   // the smallest gain as well: nothing may flush to zero or blow up
  f.run();
  const float gain = std::ldexp(0.70710677f, -52);  // 2^(-210/4)
  EXPECT_EQ(f.d.requantized[0][0], gain * std::ldexp(1.0f, -45));
  EXPECT_EQ(f.d.requantized[0][4], -(gain * std::ldexp(1.0f, -31)));
  EXPECT_GT(f.d.requantized[0][1], 0.0f);
  EXPECT_TRUE(std::isfinite(f.d.requantized[0][1]));

  f.gi.subblock_gain[0] = 0;
  f.sf.scalefac_s[0][0] = 0;
  f.gi.window_switching_flag = 0;  // long block with the largest intensity scale factor
  f.sf.scalefac_l[0] = 31;
  f.gi.global_gain = 210;
  f.run();
  EXPECT_EQ(f.d.requantized[0][0], std::ldexp(1.0f, -31));
}

TEST(Requantize, MixedBlocksSwitchToShortBandsAtLine36) {
  for (uint32_t version : {1u, 0u}) {
    // 44100 Hz (long band 7 ends at 36) and 22050 Hz (long band 5 ends at 36; short band 3
    // is 6 lines per window).
    RequantizeFixture f(version, 0);
    f.short_block(true);
    const int last_long_band = version == 1 ? 7 : 5;
    const int width3 = version == 1 ? 4 : 6;
    for (int b = 0; b < 8; ++b) f.sf.scalefac_l[b] = 2;
    f.sf.scalefac_l[last_long_band] = 4;
    f.sf.scalefac_s[0][3] = 6;
    f.sf.scalefac_s[1][3] = 8;
    f.sf.scalefac_s[2][3] = 0;
    f.sf.scalefac_s[0][4] = 10;
    const float* out = f.scales();
    EXPECT_EQ(out[0], 0.5f) << version;
    EXPECT_EQ(out[35], 0.25f) << version;
    EXPECT_EQ(out[36], 0.125f) << version;
    EXPECT_EQ(out[36 + width3 - 1], 0.125f) << version;
    EXPECT_EQ(out[36 + width3], 0.0625f) << version;
    EXPECT_EQ(out[36 + 2 * width3], 1.0f) << version;
    EXPECT_EQ(out[36 + 3 * width3], 0.03125f) << version;
  }
}

// Random spectra, also with large values and values above 1 past the big-value area (which a
// corrupt stream cannot produce, but which must still be requantised right), against the
// formula line by line on every path: |v|^(4/3) times the gain, rounded, signed, times the
// band's step.
TEST(RequantizeSimd, EveryLineFollowsTheFormulaOnEveryGroupOfFour) {
  std::mt19937 rng(21);
  RequantizeFixture f;
  const int32_t magnitudes[] = {0, 1, 7, 8, 3, 15, 16, 8191, 8192, 8206};
  for (int trial = 0; trial < 200; ++trial) {
    const auto path = static_cast<SimdPath>(trial % (static_cast<int>(simd_path()) + 1));
    f.gi.global_gain = static_cast<int32_t>(rng() % 256);
    f.gi.big_values = static_cast<int32_t>(rng() % 300);
    f.gi.scalefac_scale = static_cast<int32_t>(rng() % 2);
    for (int32_t& s : f.sf.scalefac_l) s = static_cast<int32_t>(rng() % 16);
    for (int i = 0; i < 576; ++i) {
      const bool small = i >= 2 * f.gi.big_values && rng() % 50 != 0;
      const int32_t m = small ? static_cast<int32_t>(rng() % 2) : magnitudes[rng() % 10];
      f.d.quantized[i] = (rng() & 1) ? -m : m;
    }
    f.d.nonzero_count[0] = static_cast<int32_t>(rng() % 577);
    f.run(path);
    const float gain = global_gain_table[static_cast<uint32_t>(f.gi.global_gain)];
    const int32_t* bounds = band_tables[f.h.band_table].long_bounds;
    for (int band = 0; band < 22; ++band) {
      const float step = scale_step_table[static_cast<uint32_t>(f.sf.scalefac_l[band]) << f.gi.scalefac_scale];
      for (int i = bounds[band]; i < bounds[band + 1]; ++i) {
        const int32_t v = f.d.quantized[i];
        const float power = std::abs(v) < pow43_table_size
                                ? pow43_table[std::abs(v)]
                                : static_cast<float>(std::pow(static_cast<double>(std::abs(v)), 4.0 / 3.0));
        const float scaled = power * gain;
        const float expected = i < f.d.nonzero_count[0] ? (v < 0 ? -scaled : scaled) * step : 0.0f;
        ASSERT_EQ(f.d.requantized[0][i], expected) << "trial " << trial << " line " << i << " v " << v
                                                   << " path " << simd_path_name(path);
      }
    }
  }
}

}  // namespace
}  // namespace mpegin
