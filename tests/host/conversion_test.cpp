// Sample conversion: the dither generator, dithered and clipped 16-bit output, gain scaling.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "host/dither.h"
#include "host/sample_conversion.h"

namespace mpegin {
namespace {

TEST(DitherGenerator, FirstStatesFromZeroAndValues) {
  dither_seed(0);
  const uint32_t states[] = {1, 524310, 1573327, 1058300};
  for (uint32_t expected : states) {
    const double value = dither_random();
    EXPECT_EQ(dither_state(), expected);
    EXPECT_EQ(value, expected / 2097152.0);
  }
}

TEST(DitherGenerator, StaysBelowTwoToThe21AndInUnitRange) {
  dither_seed(49999);
  for (int i = 0; i < 100000; ++i) {
    const double value = dither_random();
    ASSERT_LT(dither_state(), 1u << 21);
    ASSERT_GE(value, 0.0);
    ASSERT_LT(value, 1.0);
  }
}

TEST(DitheredConversion, TwoSampleExampleDrawsFourValues) {
  dither_seed(0);
  const float input[] = {0.0f, 100.4f};
  int16_t output[2] = {};
  convert_dithered(output, input, 2, 1, 1.0);
  EXPECT_EQ(output[0], -1);
  EXPECT_EQ(output[1], 101);
  EXPECT_EQ(dither_state(), 1058300u);  // four draws, as from state 0
}

TEST(DitheredConversion, ClipsToTheFullSixteenBitRange) {
  dither_seed(12345);
  const float input[] = {32767.9f, -32768.0f, 1e9f, -1e9f, 3.0e38f};
  const int16_t low[] = {32767, -32768, 32767, -32768, 32767};
  const int16_t high[] = {32767, -32767, 32767, -32768, 32767};
  for (int round = 0; round < 2000; ++round) {
    int16_t output[5] = {};
    convert_dithered(output, input, 5, 0, 1.0);
    for (int i = 0; i < 5; ++i) {
      ASSERT_GE(output[i], low[i]) << input[i];
      ASSERT_LE(output[i], high[i]) << input[i];
    }
  }
}

TEST(DitheredConversion, SilenceBecomesSmallNoiseAroundZero) {
  dither_seed(777);
  std::vector<float> input(4096, 0.0f);
  std::vector<int16_t> output(input.size());
  convert_dithered(output.data(), input.data(), static_cast<int32_t>(input.size()), 1, 1.0);
  int counts[3] = {};
  for (int16_t v : output) {
    ASSERT_GE(v, -1);
    ASSERT_LE(v, 1);
    ++counts[v + 1];
  }
  // Triangular noise rounds to 0 three times as often as to either side.
  EXPECT_GT(counts[1], counts[0] * 2);
  EXPECT_GT(counts[0], 0);
  EXPECT_GT(counts[2], 0);
}

TEST(DitheredConversion, EmptyOrNegativeCountTouchesNothing) {
  dither_seed(42);
  const float input[] = {5.0f};
  int16_t output[1] = {1234};
  convert_dithered(output, input, 0, 0, 1.0);
  convert_dithered(output, input, -3, 1, 1.0);
  EXPECT_EQ(output[0], 1234);
  EXPECT_EQ(dither_state(), 42u);
}

TEST(DitheredConversion, RoundsWithinOneUnitOfTheSample) {
  dither_seed(3);
  std::vector<float> input;
  for (int i = -3000; i <= 3000; ++i) input.push_back(i * 7.3f);
  std::vector<int16_t> output(input.size());
  convert_dithered(output.data(), input.data(), static_cast<int32_t>(input.size()), 0, 1.0);
  for (std::size_t i = 0; i < input.size(); ++i) ASSERT_LE(std::fabs(output[i] - input[i]), 1.5f) << input[i];
}

TEST(ClippedConversion, TruncatesTowardZeroAndClipsSymmetrically) {
  const float input[] = {1.0f, -1.0f, 0.5f, -1.5f / 32768, 1.5f / 32768, 0.99999f, -0.99999f, 40.0f, -40.0f, 0.0f};
  const int16_t expected[] = {32767, -32767, 16384, -1, 1, 32767, -32767, 32767, -32767, 0};
  int16_t output[10] = {};
  convert_clipped(output, input, 10, 32768.0f);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(output[i], expected[i]) << "sample " << i;
}

TEST(ClippedConversion, ProductIsRoundedToSinglePrecisionFirst) {
  // 0.999985f x 32768 is 32767.508... in single precision; a value just below an integer
  // after rounding must not be taken from the double product.
  const float gain = 16422.902f;
  const float input[] = {0.3f, -0.7f, 1.9953f};
  int16_t output[3] = {};
  convert_clipped(output, input, 3, gain);
  for (int i = 0; i < 3; ++i) {
    const float v = input[i] * gain;
    EXPECT_EQ(output[i], static_cast<int16_t>(std::trunc(std::fmax(-32767.0f, std::fmin(32767.0f, v)))));
  }
}

TEST(ClippedConversion, NotANumberStaysInRange) {
  const float input[] = {std::numeric_limits<float>::quiet_NaN()};
  int16_t output[1] = {};
  convert_clipped(output, input, 1, 32768.0f);
  EXPECT_GE(output[0], -32767);
  EXPECT_LE(output[0], 32767);
}

TEST(ClippedConversion, LongRunsMatchTheSampleRule) {
  // Runs long enough for the eight-at-a-time path, with every length remainder, unaligned
  // starts and the awkward values: NaNs, infinities, signed zeros, the clip edges.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  std::vector<float> input = {nan, -nan, inf, -inf, 0.0f, -0.0f, 32767.0f / 32768, -32767.0f / 32768,
                              32767.5f / 32768, -32767.5f / 32768, 32766.99f / 32768, 1e-9f, -1e-9f, 3.0f};
  for (int i = 0; i < 200; ++i) input.push_back(std::sin(i * 0.37f) * (1.0f + (i % 7) * 0.05f));
  const auto expected_for = [](float x, float gain) {
    const float v = x * gain;
    if (std::isnan(v)) return int16_t{-32767};
    return static_cast<int16_t>(std::trunc(std::fmax(-32767.0f, std::fmin(32767.0f, v))));
  };
  for (const float gain : {32768.0f, 16422.902f}) {
    for (uint32_t start = 0; start < 3; ++start) {
      for (uint32_t count = 0; count <= 20; ++count) {
        const uint32_t n = count == 20 ? static_cast<uint32_t>(input.size()) - start : count;
        std::vector<int16_t> output(n + 1, 12345);
        convert_clipped(output.data(), input.data() + start, n, gain);
        for (uint32_t i = 0; i < n; ++i)
          ASSERT_EQ(output[i], expected_for(input[start + i], gain)) << "start " << start << " sample " << i;
        EXPECT_EQ(output[n], 12345) << "wrote past the end";
      }
    }
  }
}

TEST(GainScaling, MultipliesInPlaceInSinglePrecision) {
  std::vector<float> samples = {1.0f, -1.0f, 0.1f, 0.0f};
  scale_samples(samples.data(), 3, 65380.754f);
  EXPECT_EQ(samples[0], 65380.754f);
  EXPECT_EQ(samples[1], -65380.754f);
  EXPECT_EQ(samples[2], 0.1f * 65380.754f);
  EXPECT_EQ(samples[3], 0.0f);
}

}  // namespace
}  // namespace mpegin
