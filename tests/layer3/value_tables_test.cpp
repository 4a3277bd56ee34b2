// The written-out tables of powers and trigonometric values against the C library's functions:
// each entry is the double-precision value rounded once to single precision.
#include <gtest/gtest.h>

#include <cmath>

#include "layer3/imdct.h"
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

double long_window(int type, int i) {
  const double long_sine = std::sin(pi / 36 * (i + 0.5));
  if (type == 1) {
    if (i < 18) return long_sine;
    if (i < 24) return 1.0;
    if (i < 30) return std::sin(pi / 12 * (i - 18 + 0.5));
    return 0.0;
  }
  if (type == 3) {
    if (i < 6) return 0.0;
    if (i < 12) return std::sin(pi / 12 * (i - 6 + 0.5));
    if (i < 18) return 1.0;
    return long_sine;
  }
  return long_sine;
}

TEST(ValueTables, ImdctWindowsCarryTheOutputFactors) {
  for (int type : {0, 1, 3}) {
    for (int i = 0; i < 36; ++i) {
      double f = -1.0 / (4.0 * std::fabs(std::cos((2 * i + 19) * pi / 72)));
      if (i % 9 == 4) f *= 2.0;
      ASSERT_EQ(imdct_windows[type][i], static_cast<float>(long_window(type, i) * f)) << type << " " << i;
    }
  }
  for (int i = 0; i < 36; ++i) EXPECT_EQ(imdct_windows[2][i], 0.0f);
}

}  // namespace
}  // namespace mpegin
