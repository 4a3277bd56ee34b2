// The one-pass conversions give exactly what the written-out steps give: the vector gain
// products, and the fused gain-and-dither conversion against scale_samples followed by
// convert_dithered, including the generator state it leaves behind.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <algorithm>
#include <vector>

#include "host/dither.h"
#include "host/sample_conversion.h"

namespace mpegin {
namespace {

// Decoded-looking samples and the awkward ones: both clip edges, halves, huge values,
// infinities, NaNs, denormals and signed zeros.
std::vector<float> awkward_samples() {
  std::vector<float> samples = {0.0f, -0.0f, 1.0f, -1.0f, 0.5f, -0.5f, 32767.0f / 32768.0f,
                                -32768.0f / 32768.0f, 1.0001f, -1.0001f, 1e-40f, -1e-40f, 1e30f, -1e30f,
                                std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                                std::numeric_limits<float>::quiet_NaN(), -std::numeric_limits<float>::quiet_NaN()};
  for (int k = -4; k <= 4; ++k) samples.push_back((32767.0f + 0.5f * k) / 32768.0f);
  for (int k = -4; k <= 4; ++k) samples.push_back((-32768.0f + 0.5f * k) / 32768.0f);
  std::mt19937 random(20261208);
  std::uniform_real_distribution<float> wide(-1.2f, 1.2f);
  std::uniform_real_distribution<float> quiet(-0.001f, 0.001f);
  for (int i = 0; i < 3000; ++i) samples.push_back(i % 3 == 0 ? quiet(random) : wide(random));
  return samples;
}

std::vector<float> gains() {
  return {32768.0f, 32768.0f * 0.5011872f, 32768.0f * 1.9952623f, 32768.0f * 100000.0f, 0.3276800f, 32768.0f * 1.0e-9f};
}

bool same_bits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(SampleConversionSimd, GainProductsAreTheScalarProductsBitForBit) {
  const std::vector<float> input = awkward_samples();
  for (const float gain : gains()) {
    for (const uint32_t count : {0u, 1u, 7u, 8u, 9u, 17u, static_cast<uint32_t>(input.size())}) {
      std::vector<float> out(count + 1, 7.0f);
      scale_samples(out.data(), input.data(), count, gain);
      std::vector<float> in_place(input.begin(), input.begin() + count);
      scale_samples(in_place.data(), count, gain);
      // Both scalings of mpegdec's float output in one pass: the two rounded products.
      std::vector<float> twice(count + 1, 7.0f);
      scale_samples(twice.data(), input.data(), count, gain, 1.0f / 32768.0f);
      for (uint32_t i = 0; i < count; ++i) {
        const float expected = input[i] * gain;
        ASSERT_TRUE(same_bits(out[i], expected)) << "sample " << i << " gain " << gain;
        ASSERT_TRUE(same_bits(in_place[i], expected)) << "sample " << i << " gain " << gain;
        ASSERT_TRUE(same_bits(twice[i], expected * (1.0f / 32768.0f))) << "sample " << i;
      }
      EXPECT_EQ(out[count], 7.0f) << "written past the end";
      EXPECT_EQ(twice[count], 7.0f) << "written past the end";
    }
  }
}

TEST(SampleConversionSimd, FusedDitherEqualsScalingThenDithering) {
  const std::vector<float> input = awkward_samples();
  for (const float gain : gains()) {
    for (const uint32_t seed : {0u, 1u, 49999u, 0x1FFFFFu, 1058300u}) {
      for (const uint32_t count : {0u, 1u, 2u, 9u, static_cast<uint32_t>(input.size())}) {
        std::vector<float> side(count);
        std::vector<int16_t> expected(count + 1, 99);
        dither_seed(seed);
        scale_samples(side.data(), input.data(), count, gain);
        convert_dithered(expected.data(), side.data(), static_cast<int32_t>(count), 1, 1.0);
        const uint32_t expected_state = dither_state();

        std::vector<int16_t> fused(count + 1, 99);
        dither_seed(seed);
        scale_and_convert_dithered(fused.data(), input.data(), count, gain);
        ASSERT_EQ(fused, expected) << "gain " << gain << " seed " << seed << " count " << count;
        ASSERT_EQ(dither_state(), expected_state) << "the generator must end where it would";
      }
    }
  }
}

// A part converted from the state the generator skipped to is the tail of the whole output.
TEST(DitherSkip, LandsWhereTheDrawsLead) {
  for (const uint32_t seed : {0u, 12345u, 0x1FFFFFu}) {
    for (const uint64_t steps : {uint64_t{0}, uint64_t{1}, uint64_t{2}, uint64_t{77}, uint64_t{4096}, uint64_t{1} << 21}) {
      dither_seed(seed);
      for (uint64_t i = 0; i < steps; ++i) dither_random();
      EXPECT_EQ(dither_skip(seed, steps), dither_state()) << seed << " " << steps;
    }
  }
  std::vector<float> input(300);
  for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<float>(i % 17) * 0.01f - 0.08f;
  std::vector<int16_t> whole(input.size()), part(100);
  uint32_t state = 4242;
  scale_and_convert_dithered(whole.data(), input.data(), 300, 32768.0f, state);
  uint32_t skipped = dither_skip(4242, 2 * 200);
  scale_and_convert_dithered(part.data(), input.data() + 200, 100, 32768.0f, skipped);
  EXPECT_TRUE(std::equal(part.begin(), part.end(), whole.begin() + 200));
  EXPECT_EQ(skipped, state);
}

}  // namespace
}  // namespace mpegin
