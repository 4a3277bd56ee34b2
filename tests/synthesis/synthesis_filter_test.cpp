#include "synthesis/synthesis_filter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "support/filter_probe.h"
#include "synthesis/fast_dct.h"
#include "synthesis/synthesis_window.h"

namespace mpegin {
namespace {

const double kPi = 3.14159265358979323846;

// The window in the standard's order, D[32 t + j] = synthesis_window[16 j + t].
double window_d(int i) { return synthesis_window[16 * (i % 32) + i / 32]; }

using test_support::RecordingSink;

// ISO/IEC 11172-3 synthesis as the standard writes it, in double precision: a 1024-value
// V vector shifted by 64 per slot, U gathered from it, W = U * D, S[j] = sum of W[j + 32 i].
class ReferenceSynthesis {
 public:
  std::vector<double> slot(const float* x) {
    for (int i = 1023; i >= 64; --i) {
      v_[i] = v_[i - 64];
      l1_[i] = l1_[i - 64];
    }
    double l1 = 0.0;
    for (int k = 0; k < 32; ++k) l1 += std::fabs(x[k]);
    for (int i = 0; i < 64; ++i) {
      l1_[i] = l1;
      double sum = 0.0;
      for (int k = 0; k < 32; ++k) sum += std::cos((16 + i) * (2 * k + 1) * kPi / 64.0) * x[k];
      v_[i] = sum;
    }
    std::vector<double> out(32, 0.0);
    scale_.assign(32, 0.0);
    for (int i = 0; i < 8; ++i) {
      for (int j = 0; j < 32; ++j) {
        const int a = 128 * i + j, b = 128 * i + 96 + j;
        const double d_a = window_d(64 * i + j), d_b = window_d(64 * i + 32 + j);
        out[j] += v_[a] * d_a + v_[b] * d_b;
        scale_[j] += std::fabs(d_a) * l1_[a] + std::fabs(d_b) * l1_[b];
      }
    }
    return out;
  }
  // What single-precision rounding of each output of the last slot scales with: the
  // window taps' magnitudes times the size (sum of magnitudes) of the inputs they saw.
  const std::vector<double>& scale() const { return scale_; }

 private:
  std::vector<double> v_ = std::vector<double>(1024, 0.0);
  std::vector<double> l1_ = std::vector<double>(1024, 0.0);  // sum of |x| of each V's slot
  std::vector<double> scale_;
};

TEST(DctFactors, AreTheReciprocalCosinesRoundedOnce) {
  EXPECT_FLOAT_EQ(dct_factors[1], 0.500602998f);
  EXPECT_FLOAT_EQ(dct_factors[16], 0.707106781f);
  EXPECT_FLOAT_EQ(dct_factors[31], 10.190008124f);
  for (int j = 1; j < 32; ++j)
    EXPECT_EQ(dct_factors[j], static_cast<float>(1.0 / (2.0 * std::cos(j * kPi / 64.0)))) << j;
}

TEST(FastDct, MatchesTheDirectTransform) {
  std::mt19937 random(1);
  std::uniform_real_distribution<float> value(-1.0f, 1.0f);
  for (int round = 0; round < 64; ++round) {
    float x[32], X[32];
    for (int k = 0; k < 32; ++k) x[k] = round < 32 ? (k == round ? 1.0f : 0.0f) : value(random);
    fast_dct32(x, X);
    for (int m = 0; m < 32; ++m) {
      double expected = 0.0;
      for (int k = 0; k < 32; ++k) expected += x[k] * std::cos((2 * k + 1) * m * kPi / 64.0);
      ASSERT_NEAR(X[m], expected, 2e-5) << "round " << round << " output " << m;
    }
  }
}

// The vector form must give exactly what the written-out form gives, bit for bit, for any input:
// inputs of very different sizes, where a changed order of operations would show, and sparse
// inputs of signed zeros.
TEST(FastDct, EqualsTheWrittenOutFormBitForBit) {
  std::mt19937 random(4);
  std::uniform_real_distribution<float> value(-1.0f, 1.0f);
  std::uniform_int_distribution<int> exponent(-30, 30);
  for (int round = 0; round < 3000; ++round) {
    alignas(16) float x[32];
    for (int k = 0; k < 32; ++k) {
      switch (round % 3) {
        case 0: x[k] = value(random); break;
        case 1: x[k] = std::ldexp(value(random), exponent(random)); break;
        default: x[k] = random() % 8 == 0 ? value(random) : (random() % 2 ? -0.0f : 0.0f); break;
      }
    }
    float fast[32], written_out[32];
    fast_dct32(x, fast);
    lee_dct32(x, written_out);
    for (int m = 0; m < 32; ++m) {
      ASSERT_EQ(fast[m], written_out[m]) << "round " << round << " output " << m;
      ASSERT_EQ(std::signbit(fast[m]), std::signbit(written_out[m])) << "round " << round << " output " << m;
    }
  }
}

TEST(SynthesisWindow, HoldsTheStandardWindowByOutputSample) {
  const float row0[16] = {0.000000000f, -0.000442505f, 0.003250122f, -0.007003784f,
                          0.031082153f, -0.078628540f, 0.100311279f, -0.572036743f,
                          1.144989014f, 0.572036743f,  0.100311279f, 0.078628540f,
                          0.031082153f, 0.007003784f,  0.003250122f, 0.000442505f};
  const float row1[16] = {-0.000015259f, -0.000473022f, 0.003326416f, -0.007919312f,
                          0.030517578f,  -0.084182739f, 0.090927124f, -0.600219727f,
                          1.144287109f,  0.543823242f,  0.108856201f, 0.073059082f,
                          0.031478882f,  0.006118774f,  0.003173828f, 0.000396729f};
  const float row16[16] = {-0.000076294f, -0.001586914f, 0.002227783f,  -0.023910522f,
                           -0.000686646f, -0.148422241f, -0.152206421f, -0.976852417f,
                           0.976852417f,  0.152206421f,  0.148422241f,  0.000686646f,
                           0.023910522f,  -0.002227783f, 0.001586914f,  0.000076294f};
  const float column0[32] = {0.0f,          -0.000015259f, -0.000015259f, -0.000015259f,
                             -0.000015259f, -0.000015259f, -0.000015259f, -0.000030518f,
                             -0.000030518f, -0.000030518f, -0.000030518f, -0.000045776f,
                             -0.000045776f, -0.000061035f, -0.000061035f, -0.000076294f,
                             -0.000076294f, -0.000091553f, -0.000106812f, -0.000106812f,
                             -0.000122070f, -0.000137329f, -0.000152588f, -0.000167847f,
                             -0.000198364f, -0.000213623f, -0.000244141f, -0.000259399f,
                             -0.000289917f, -0.000320435f, -0.000366211f, -0.000396729f};
  for (int t = 0; t < 16; ++t) {
    EXPECT_EQ(synthesis_window[t], row0[t]) << t;
    EXPECT_EQ(synthesis_window[16 + t], row1[t]) << t;
    EXPECT_EQ(synthesis_window[16 * 16 + t], row16[t]) << t;
  }
  for (int j = 0; j < 32; ++j) EXPECT_EQ(synthesis_window[16 * j], column0[j]) << j;
  for (int i = 1; i < 512; ++i)
    ASSERT_EQ(window_d(512 - i), i % 64 == 0 ? window_d(i) : -window_d(i)) << i;
}

TEST(SynthesisFilter, FirstSlotSeesOnlyTheNewestColumn) {
  std::mt19937 random(2);
  std::uniform_real_distribution<float> value(-1.0f, 1.0f);
  float x[32];
  SynthesisFilter filter(0);
  for (int k = 0; k < 32; ++k) filter.put_sample(k, x[k] = value(random));
  RecordingSink sink;
  filter.synthesize(sink);
  ASSERT_EQ(sink.channels[0].size(), 32u);
  EXPECT_EQ(sink.channels[0][0], 0.0f);  // D[0] is 0, whatever the input
  for (int j = 1; j < 32; ++j) {
    double v = 0.0;
    for (int k = 0; k < 32; ++k) v += std::cos((16 + j) * (2 * k + 1) * kPi / 64.0) * x[k];
    EXPECT_NEAR(sink.channels[0][j], window_d(j) * v, 1e-8) << j;
  }
}

TEST(SynthesisFilter, SilenceStaysExactlySilent) {
  SynthesisFilter filter(1);
  RecordingSink sink;
  for (int slot = 0; slot < 40; ++slot) filter.synthesize(sink);
  ASSERT_EQ(sink.channels[1].size(), 40u * 32u);
  EXPECT_TRUE(sink.channels[0].empty());
  for (float s : sink.channels[1]) ASSERT_EQ(s, 0.0f);
}

// Two independent filters over a long input against the textbook synthesis: random slots,
// slots where only some subbands are stored (the rest must read as zero), and silent slots.
// Every third slot hands its inputs over directly instead of storing them.
TEST(SynthesisFilter, AgreesWithTheStandardFormulasOverALongInput) {
  std::mt19937 random(3);
  std::uniform_real_distribution<float> value(-1.0f, 1.0f);
  SynthesisFilter filters[2] = {SynthesisFilter(0), SynthesisFilter(1)};
  ReferenceSynthesis references[2];
  RecordingSink sink;
  double worst = 0.0;
  const int slots = 1200;
  for (int slot = 0; slot < slots; ++slot) {
    for (int ch = 0; ch < 2; ++ch) {
      float x[32] = {};
      const int kind = (slot / 7 + ch) % 3;  // 0: all subbands, 1: a few, 2: none
      const bool direct = slot % 3 == 2;
      for (int k = 0; k < 32; ++k) {
        if (kind == 0 || (kind == 1 && random() % 4 == 0)) {
          x[k] = value(random) * (ch == 0 ? 1.0f : 0.25f);
          if (!direct) filters[ch].put_sample(k, x[k]);
        }
      }
      if (direct) {
        filters[ch].synthesize(x, sink);
      } else {
        filters[ch].synthesize(sink);
      }
      const std::vector<double> expected = references[ch].slot(x);
      for (int j = 0; j < 32; ++j) {
        const double got = sink.channels[ch][32 * slot + j];
        const double error = std::fabs(got - expected[j]) / (references[ch].scale()[j] + 1e-30);
        worst = std::max(worst, error);
        ASSERT_LT(error, 2e-6) << "channel " << ch << " slot " << slot << " sample " << j;
      }
    }
  }
  EXPECT_EQ(sink.channels[0].size(), 32u * slots);
  EXPECT_EQ(sink.channels[1].size(), 32u * slots);
  char text[32];
  std::snprintf(text, sizeof text, "%.3g", worst);
  RecordProperty("worst_relative_error", text);
}

}  // namespace
}  // namespace mpegin
