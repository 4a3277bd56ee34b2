// The powers requantisation computes past its tables equal the maths library's, rounded as the
// tables are, over every argument a stream can give and beyond.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "layer3/computed_powers.h"

namespace mpegin {
namespace {

TEST(ComputedPowers, FourThirdsOfEveryMagnitude) {
  for (uint32_t n = 0; n < (1u << 16); ++n)
    ASSERT_EQ(pow43_computed(n), static_cast<float>(std::pow(static_cast<double>(n), 4.0 / 3.0))) << n;
}

TEST(ComputedPowers, QuartersOfTwo) {
  for (int64_t q = -1300; q <= 1300; ++q)
    ASSERT_EQ(power_of_two_quarters(q), static_cast<float>(std::pow(2.0, static_cast<double>(q) * 0.25))) << q;
}

// Down into the subnormal floats and past the largest, rounded once as ldexp rounds.
TEST(ComputedPowers, ScalingByPowersOfTwo) {
  for (const float value : {1.0f, 0.70710677f, 1.9999999f, 1.5f, -3.0e-40f, 3.0e38f})
    for (int32_t e = -500; e <= 500; ++e) ASSERT_EQ(times_power_of_two(value, e), std::ldexp(value, e)) << value << " " << e;
}

}  // namespace
}  // namespace mpegin
