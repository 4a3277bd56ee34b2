#include "layer3/imdct.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

namespace mpegin {
namespace {

const double pi = 3.14159265358979323846;

double window(int type, int i) {
  if (type == 1) {
    if (i < 18) return std::sin(pi / 36 * (i + 0.5));
    if (i < 24) return 1.0;
    if (i < 30) return std::sin(pi / 12 * (i - 18 + 0.5));
    return 0.0;
  }
  if (type == 3) {
    if (i < 6) return 0.0;
    if (i < 12) return std::sin(pi / 12 * (i - 6 + 0.5));
    if (i < 18) return 1.0;
  }
  return std::sin(pi / 36 * (i + 0.5));
}

// The windowed inverse MDCT of ISO/IEC 11172-3 as plain sums in double precision.
void reference_imdct(const float* x, double* r, int type) {
  for (int i = 0; i < 36; ++i) r[i] = 0.0;
  if (type == 2) {
    for (int j = 0; j < 3; ++j) {
      for (int i = 0; i < 12; ++i) {
        double y = 0.0;
        for (int k = 0; k < 6; ++k) y += x[3 * k + j] * std::cos(pi / 24 * (2 * i + 7) * (2 * k + 1));
        r[6 + 6 * j + i] += y * std::sin(pi / 12 * (i + 0.5));
      }
    }
    return;
  }
  for (int i = 0; i < 36; ++i) {
    double sum = 0.0;
    for (int k = 0; k < 18; ++k) sum += x[k] * std::cos(pi / 72 * (2 * i + 19) * (2 * k + 1));
    r[i] = window(type, i) * sum;
  }
}

// Runs the fast transform on a copy and compares it with the sums; the tolerance scales with
// the input so that only single-precision rounding passes.
void expect_matches_sums(const float (&x)[18], int type) {
  float scratch[18];
  float result[36];
  double magnitude = 0.0;
  for (int k = 0; k < 18; ++k) {
    scratch[k] = x[k];
    magnitude += std::fabs(x[k]);
  }
  double expected[36];
  reference_imdct(x, expected, type);
  imdct(scratch, result, type);
  for (int i = 0; i < 36; ++i) {
    EXPECT_NEAR(result[i], expected[i], 4e-6 * magnitude + 1e-30) << "type " << type << " output " << i;
  }
}

TEST(Imdct, MatchesDirectSumsForRandomInputsOfEveryBlockType) {
  std::mt19937 rng(1234);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  std::uniform_real_distribution<float> exponent(-20.0f, 20.0f);
  for (int type = 0; type < 4; ++type) {
    for (int trial = 0; trial < 200; ++trial) {
      float x[18];
      const float scale = std::pow(2.0f, exponent(rng));
      for (float& v : x) v = unit(rng) * scale;
      expect_matches_sums(x, type);
    }
  }
}

TEST(Imdct, EachSingleLineMatchesItsBasisFunction) {
  for (int type = 0; type < 4; ++type) {
    for (int k = 0; k < 18; ++k) {
      float x[18] = {};
      x[k] = 1.0f;
      expect_matches_sums(x, type);
    }
  }
}

TEST(Imdct, ShortBlockLeavesTheOuterSixOutputsOnEachSideZero) {
  float x[18];
  for (int k = 0; k < 18; ++k) x[k] = 0.25f * (k + 1) * (k % 2 ? -1.0f : 1.0f);
  float r[36];
  for (float& v : r) v = 99.0f;
  imdct(x, r, 2);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(r[i], 0.0f);
    EXPECT_EQ(r[30 + i], 0.0f);
  }
}

TEST(Imdct, SilenceGivesSilence) {
  for (int type = 0; type < 4; ++type) {
    float x[18] = {};
    float r[36];
    imdct(x, r, type);
    for (float v : r) EXPECT_EQ(v, 0.0f);
  }
}

TEST(ImdctWindows, HoldTheWindowTimesTheOutputFactors) {
  EXPECT_NEAR(imdct_windows[0][0], -0.0161412f, 1e-7f);
  EXPECT_NEAR(imdct_windows[0][1], -0.0536032f, 1e-7f);
  EXPECT_NEAR(imdct_windows[0][2], -0.1007071f, 1e-7f);
  EXPECT_NEAR(imdct_windows[0][3], -0.1628082f, 1e-7f);
  EXPECT_NEAR(imdct_windows[0][4], -0.5f, 1e-7f);
  EXPECT_NEAR(imdct_windows[0][13], -1.2071068f, 1e-6f);
  // Start and stop windows: the flat part keeps the factor alone, the zero part is zero.
  for (int i = 30; i < 36; ++i) EXPECT_EQ(imdct_windows[1][i], 0.0f);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(imdct_windows[3][i], 0.0f);
  for (int i = 0; i < 18; ++i) EXPECT_EQ(imdct_windows[1][i], imdct_windows[0][i]);
  for (int i = 18; i < 36; ++i) EXPECT_EQ(imdct_windows[3][i], imdct_windows[0][i]);
  // Every entry: the window times the factor in double precision, rounded once to float.
  for (int type : {0, 1, 3}) {
    for (int i = 0; i < 36; ++i) {
      double f = -1.0 / (4.0 * std::fabs(std::cos((2 * i + 19) * pi / 72)));
      if (i % 9 == 4) f *= 2.0;
      ASSERT_EQ(imdct_windows[type][i], static_cast<float>(window(type, i) * f)) << type << " " << i;
    }
  }
}

// The four-subband transform against the single one, bit for bit, for every block type, with
// subbands of very different magnitudes side by side; its input stays as it was. The form
// with the overlap-add gives the same sums and kept halves.
TEST(ImdctSimd, FourSubbandsAtOnceEqualTheTransformOfEach) {
  std::mt19937 rng(77);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  std::uniform_real_distribution<float> exponent(-30.0f, 30.0f);
  for (int type = 0; type < 4; ++type) {
    for (int trial = 0; trial < 100; ++trial) {
      float lines[4 * 18];
      for (int j = 0; j < 4; ++j) {
        const float scale = std::pow(2.0f, exponent(rng));
        for (int k = 0; k < 18; ++k) lines[18 * j + k] = (trial % 7 == j) ? 0.0f : unit(rng) * scale;
      }
      float kept_input[4 * 18];
      std::copy(lines, lines + 72, kept_input);
      float together[4][36];
      imdct_4(lines, together, type);
      for (int j = 0; j < 4; ++j) {
        float scratch[18];
        std::copy(lines + 18 * j, lines + 18 * j + 18, scratch);
        float alone[36];
        imdct(scratch, alone, type);
        for (int i = 0; i < 36; ++i)
          ASSERT_EQ(std::memcmp(&together[j][i], &alone[i], sizeof(float)), 0)
              << "type " << type << " subband " << j << " output " << i << ": " << together[j][i]
              << " vs " << alone[i];
      }
      ASSERT_EQ(std::memcmp(lines, kept_input, sizeof lines), 0);

      // With the overlap-add done inside: the sums and the new kept halves, bit for bit.
      float kept[4][18];
      for (auto& row : kept) for (float& v : row) v = unit(rng);
      float expected_lines[4 * 18];
      for (int j = 0; j < 4; ++j)
        for (int t = 0; t < 18; ++t) expected_lines[18 * j + t] = together[j][t] + kept[j][t];
      imdct_4_overlap(lines, kept, type);
      ASSERT_EQ(std::memcmp(lines, expected_lines, sizeof lines), 0) << "type " << type;
      for (int j = 0; j < 4; ++j)
        ASSERT_EQ(std::memcmp(kept[j], &together[j][18], sizeof kept[j]), 0) << "type " << type;
    }
  }
}

// Eight and sixteen subbands at once on the wider paths this machine runs: the same sums and
// kept halves as four at a time, bit for bit, for every block type and group count.
TEST(ImdctSimd, WidePathsEqualFourSubbandsAtATime) {
  std::mt19937 rng(78);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  for (int type = 0; type < 4; ++type) {
    for (int32_t subbands : {4, 8, 12, 16, 20, 28, 32}) {
      float lines[32 * 18], kept[32][18];
      for (float& v : lines) v = unit(rng) * std::pow(2.0f, unit(rng) * 20.0f);
      for (auto& row : kept) for (float& v : row) v = unit(rng);
      float expected_lines[32 * 18], expected_kept[32][18];
      std::memcpy(expected_lines, lines, sizeof lines);
      std::memcpy(expected_kept, kept, sizeof kept);
      for (int32_t sb = 0; sb < subbands; sb += 4) imdct_4_overlap(expected_lines + 18 * sb, expected_kept + sb, type);
      for (int path = 0; path <= static_cast<int>(simd_path()); ++path) {
        float got_lines[32 * 18], got_kept[32][18];
        std::memcpy(got_lines, lines, sizeof lines);
        std::memcpy(got_kept, kept, sizeof kept);
        imdct_overlap(got_lines, got_kept, type, subbands, static_cast<SimdPath>(path));
        ASSERT_EQ(std::memcmp(got_lines, expected_lines, sizeof lines), 0) << type << " " << subbands << " " << path;
        ASSERT_EQ(std::memcmp(got_kept, expected_kept, sizeof kept), 0) << type << " " << subbands << " " << path;
      }
    }
  }
}

}  // namespace
}  // namespace mpegin
