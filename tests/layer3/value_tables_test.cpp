// The written-out tables of powers and tangents against the C library's functions:
// each entry is the double-precision value rounded once to single precision.
#include <gtest/gtest.h>

#include <cmath>

#include "layer3/requantize_tables.h"
#include "layer3/stereo_tables.h"

namespace mpegin {
namespace {

const double pi = 3.14159265358979323846;

TEST(ValueTables, PowersOfTwo) {
  for (int n = 0; n < scale_step_table_size; ++n)
    ASSERT_EQ(scale_step_table[n], static_cast<float>(std::pow(2.0, -0.5 * n))) << n;
  for (int n = 0; n < 32; ++n) {
    ASSERT_EQ(lsf_intensity_table[0][n], static_cast<float>(std::pow(2.0, -0.25 * n))) << n;
    ASSERT_EQ(lsf_intensity_table[1][n], static_cast<float>(std::pow(2.0, -0.5 * n))) << n;
  }
}

TEST(ValueTables, IntensityRatios) {
  for (int p = 0; p < 16; ++p) {
    if (p == 6 || p == 12) continue;
    ASSERT_EQ(intensity_ratio_table[p], static_cast<float>(std::tan(p * pi / 12))) << p;
  }
  EXPECT_EQ(intensity_ratio_table[6], 1.0e11f);
  EXPECT_EQ(intensity_ratio_table[12], 0.0f);
}

}  // namespace
}  // namespace mpegin
