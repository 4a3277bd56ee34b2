// Layer II band objects on hand-built bit strings: grouped and ungrouped samples,
// the four scale factor selection patterns, the reading order of two-channel bands
// and the check word, seen through the subband samples their sample sets yield.
#include <gtest/gtest.h>

#include <vector>

#include "layer12/band_on_bits.h"
#include "layer12/layer2_band.h"
#include "layer12/layer2_intensity_band.h"
#include "layer12/layer2_stereo_band.h"

namespace mpegin {
namespace {

using test_support::BandOnBits;
using test_support::BitWriter;

constexpr double kTolerance = 3e-7;

// At 192 kbit/s (two channels, or one) subbands 0..10 have 4-bit allocations;
// subband 0 codes allocation 2 as 7 levels, subband 3 codes 1, 2, 4 as 3, 5, 9 levels.
constexpr int kLowBand = 0;
constexpr int kMidBand = 3;

TEST(Layer2Band, RequantisesUngroupedSevenLevelCodes) {
  BitWriter bits;
  bits.put(2, 4).put(2, 2).put(3, 6);  // 7 levels, one scale factor (1.0)
  for (uint32_t code : {0, 1, 2, 3, 4, 5, 6, 0, 0}) bits.put(code, 3);
  BandOnBits<Layer2Band> b(bits, kLowBand);
  EXPECT_EQ(b.body.bits_read(), 4u + 2u + 6u);
  for (uint32_t group = 0; group < 3; ++group) b.read_group(group);
  for (int code = 0; code < 7; ++code) {
    EXPECT_NEAR(b.value(0, code), (2.0 * code - 6.0) / 7.0, kTolerance) << "code " << code;
  }
  EXPECT_EQ(b.body.bits_read(), 12u + 9u * 3u);
}

TEST(Layer2Band, UngroupedCodesOfEveryWidthStayInRange) {
  // allocations 3..14 and 15 of subband 0 at high rate: 15 .. 32767 and 65535 levels
  for (uint32_t allocation = 3; allocation <= 15; ++allocation) {
    const uint32_t nb = allocation == 15 ? 16 : allocation + 1;
    const uint32_t top = (1u << nb) - 2;  // the largest allowed code
    BitWriter bits;
    bits.put(allocation, 4).put(2, 2).put(3, 6).put(0, nb).put(top / 2, nb).put(top, nb);
    BandOnBits<Layer2Band> b(bits, kLowBand);
    b.read_group(0);
    const double levels = top + 1;
    EXPECT_NEAR(b.value(0, 0), -(levels - 1) / levels, kTolerance) << nb;
    EXPECT_NEAR(b.value(0, 1), 0.0, kTolerance) << nb;
    EXPECT_NEAR(b.value(0, 2), (levels - 1) / levels, kTolerance) << nb;
    EXPECT_EQ(b.body.bits_read(), 12u + 3u * nb);
  }
}

TEST(Layer2Band, UngroupsCombinedCodes) {
  struct Case {
    uint32_t allocation, code_bits, code;
    float first, second, third;
  };
  const Case cases[] = {
      {1, 5, 0, -0.6666667f, -0.6666667f, -0.6666667f},
      {1, 5, 1, 0.0f, -0.6666667f, -0.6666667f},
      {1, 5, 26, 0.6666667f, 0.6666667f, 0.6666667f},
      {2, 7, 124, 0.8f, 0.8f, 0.8f},
      {2, 7, 7, 0.0f, -0.4f, -0.8f},  // 7 = 2 + 5 x 1 + 25 x 0
      {4, 10, 728, 0.8888889f, 0.8888889f, 0.8888889f},
      {4, 10, 4 + 9 * 4 + 81 * 4, 0.0f, 0.0f, 0.0f},
  };
  for (const Case& c : cases) {
    BitWriter bits;
    bits.put(c.allocation, 4).put(2, 2).put(6, 6).put(c.code, c.code_bits);  // scale factor 0.5
    BandOnBits<Layer2Band> b(bits, kMidBand);
    b.read_group(0);
    EXPECT_EQ(b.value(0, 0), c.first * 0.5f) << c.code;
    EXPECT_EQ(b.value(0, 1), c.second * 0.5f) << c.code;
    EXPECT_EQ(b.value(0, 2), c.third * 0.5f) << c.code;
    EXPECT_EQ(b.body.bits_read(), 12u + c.code_bits);
  }
}

TEST(Layer2Band, CombinedCodesOutsideTheTableAreSilentGroups) {
  struct Case {
    uint32_t allocation, code_bits;
    std::vector<uint32_t> codes;
  };
  const Case cases[] = {
      {1, 5, {27, 28, 31}},
      {2, 7, {125, 126, 127}},
      {4, 10, {729, 730, 1000, 1023}},
  };
  for (const Case& c : cases) {
    BitWriter bits;
    bits.put(c.allocation, 4).put(2, 2).put(0, 6);  // scale factor 2.0
    for (uint32_t code : c.codes) bits.put(code, c.code_bits);
    bits.put(0, c.code_bits);  // a valid group after them
    BandOnBits<Layer2Band> b(bits, kMidBand);
    uint32_t group = 0;
    for (; group < c.codes.size(); ++group) {
      b.read_group(group);
      for (int i = 0; i < 3; ++i) EXPECT_EQ(b.value(0, 3 * group + i), 0.0f) << c.codes[group];
    }
    // Each code took exactly its width: the next group is read in step.
    b.read_group(group);
    EXPECT_LT(b.value(0, 3 * group), -1.0f);
    EXPECT_EQ(b.body.bits_read(), 12u + (c.codes.size() + 1) * c.code_bits);
  }
}

TEST(Layer2Band, ScaleFactorSelectionSpreadsFactorsOverTheParts) {
  // indexes 3, 6, 9 are 1.0, 0.5, 0.25; the group value is 2/3 (3 levels, code 26)
  struct Case {
    uint32_t selection;
    std::vector<uint32_t> indexes;
    float parts[3];
  };
  const Case cases[] = {
      {0, {3, 6, 9}, {1.0f, 0.5f, 0.25f}},
      {1, {3, 6}, {1.0f, 1.0f, 0.5f}},
      {2, {6}, {0.5f, 0.5f, 0.5f}},
      {3, {3, 6}, {1.0f, 0.5f, 0.5f}},
  };
  for (const Case& c : cases) {
    BitWriter bits;
    bits.put(1, 4).put(c.selection, 2);
    for (uint32_t index : c.indexes) bits.put(index, 6);
    for (int group = 0; group < 12; ++group) bits.put(26, 5);
    BandOnBits<Layer2Band> b(bits, kMidBand);
    EXPECT_EQ(b.body.bits_read(), 6u + 6u * c.indexes.size()) << c.selection;
    for (uint32_t group = 0; group < 12; ++group) {
      b.read_group(group);
      for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(b.value(0, 3 * group + i), 0.6666667f * c.parts[group / 4])
            << "selection " << c.selection << " group " << group;
      }
    }
  }
}

TEST(Layer2Band, ForbiddenScaleFactorSilencesItsPart) {
  BitWriter bits;
  bits.put(1, 4).put(1, 2).put(63, 6).put(3, 6);
  for (int group = 0; group < 12; ++group) bits.put(0, 5);
  BandOnBits<Layer2Band> b(bits, kMidBand);
  for (uint32_t group = 0; group < 12; ++group) {
    b.read_group(group);
    EXPECT_EQ(b.value(0, 3 * group), group < 8 ? 0.0f : -0.6666667f) << group;
  }
}

TEST(Layer2Band, UncodedBandReadsNothingButItsAllocation) {
  BitWriter bits;
  bits.put(0, 4).put(0xFFFF, 16);
  Crc16 crc;
  BandOnBits<Layer2Band> b(bits, kMidBand, &crc);
  EXPECT_EQ(b.samples.set_count(), 0u);
  for (uint32_t group = 0; group < 12; ++group) b.read_group(group);
  for (uint32_t slot = 0; slot < 36; ++slot) EXPECT_EQ(b.value(0, slot), 0.0f);
  EXPECT_EQ(b.body.bits_read(), 4u);
  BitWriter fed;
  fed.put_checked(0, 4);
  EXPECT_EQ(crc.value, fed.crc().value);
}

TEST(Layer2Band, AllocationWidthFollowsTheSubbandAndRate) {
  // 2-bit allocations from subband 23 at high rate; 3-bit from subband 2 at low rate
  struct Case {
    uint32_t bitrate_index, mode;
    int subband;
    uint32_t width;
  };
  const Case cases[] = {{10, 0, 23, 2}, {10, 0, 11, 3}, {10, 0, 10, 4},
                        {2, 3, 2, 3},   {2, 3, 1, 4},   {5, 0, 2, 3}};
  for (const Case& c : cases) {
    BitWriter bits;
    bits.put_checked(1, c.width).put_checked(2, 2).put(3, 6);
    Crc16 crc;
    BandOnBits<Layer2Band> b(bits, c.subband, &crc, {1, c.bitrate_index, c.mode});
    EXPECT_EQ(crc.value, bits.crc().value) << c.subband;
    EXPECT_EQ(b.body.bits_read(), c.width + 2u + 6u) << c.subband;
  }
}

// Channel 0: 3 levels, selection 2, scale factor 1.0, code 26 (+2/3 x 3).
// Channel 1: 5 levels, selection 0, scale factors 0.5, 0.25, 2.0, code 0 (-0.8 x 3).
TEST(Layer2StereoBand, ReadsBothChannelsInStreamOrder) {
  BitWriter bits;
  bits.put_checked(1, 4).put_checked(2, 4);      // allocations
  bits.put_checked(2, 2).put_checked(0, 2);      // selections
  bits.put(3, 6).put(6, 6).put(9, 6).put(0, 6);  // channel 0's, then channel 1's scale factors
  for (int group = 0; group < 12; ++group) bits.put(26, 5).put(0, 7);  // channel 0, then 1
  Crc16 crc;
  BandOnBits<Layer2StereoBand> b(bits, kMidBand, &crc);
  EXPECT_EQ(crc.value, bits.crc().value);
  EXPECT_EQ(b.body.bits_read(), 8u + 4u + 24u);
  const float right_parts[] = {0.5f, 0.25f, 2.0f};
  for (uint32_t group = 0; group < 12; ++group) {
    b.read_group(group);
    for (uint32_t i = 0; i < 3; ++i) {
      EXPECT_EQ(b.value(0, 3 * group + i), 0.6666667f) << group;
      EXPECT_EQ(b.value(1, 3 * group + i), -0.8f * right_parts[group / 4]) << group;
    }
  }
  EXPECT_EQ(b.body.bits_read(), 36u + 12u * 12u);
}

TEST(Layer2StereoBand, KeepsTheOrderOfAGroupInEachChannel) {
  // channel 1: 5 levels, code 29 = 4 + 5 x 0 + 25 x 1 -> (0.8, -0.8, -0.4), scale factor 0.5
  BitWriter bits;
  bits.put(1, 4).put(2, 4).put(2, 2).put(2, 2).put(3, 6).put(6, 6).put(26, 5).put(29, 7);
  BandOnBits<Layer2StereoBand> b(bits, kMidBand);
  b.read_group(0);
  const float right[] = {0.8f * 0.5f, -0.8f * 0.5f, -0.4f * 0.5f};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(b.value(0, i), 0.6666667f);
    EXPECT_EQ(b.value(1, i), right[i]) << i;
  }
  // The next group's slots are untouched.
  EXPECT_EQ(b.value(0, 3), 99.0f);
  EXPECT_EQ(b.value(1, 3), 99.0f);
}

TEST(Layer2StereoBand, UncodedFirstChannelReadsOnlyTheSecond) {
  BitWriter bits;
  bits.put(0, 4).put(1, 4).put(2, 2).put(3, 6).put(0, 5);
  BandOnBits<Layer2StereoBand> b(bits, kMidBand);
  b.read_group(0);
  EXPECT_EQ(b.body.bits_read(), 8u + 2u + 6u + 5u);
  EXPECT_EQ(b.value(0, 0), 0.0f);
  EXPECT_EQ(b.value(1, 0), -0.6666667f);
}

TEST(Layer2StereoBand, ChannelsMayUseDifferentClasses) {
  // subband 0: channel 0 ungrouped 7 levels (3-bit codes), channel 1 grouped 3 levels
  BitWriter bits;
  bits.put(2, 4).put(1, 4).put(2, 2).put(2, 2).put(3, 6).put(3, 6);
  bits.put(6, 3).put(6, 3).put(6, 3).put(26, 5);
  BandOnBits<Layer2StereoBand> b(bits, kLowBand);
  b.read_group(0);
  EXPECT_EQ(b.body.bits_read(), 8u + 4u + 12u + 9u + 5u);
  EXPECT_NEAR(b.value(0, 0), 6.0 / 7.0, kTolerance);
  EXPECT_EQ(b.value(1, 0), 0.6666667f);
}

TEST(Layer2IntensityBand, SharesOneSampleSetBetweenTwoScaleFactorSets) {
  // one allocation (3 levels), selections 2 and 1, scale factors 1.0 | 0.5, 0.25
  BitWriter bits;
  bits.put_checked(1, 4).put_checked(2, 2).put_checked(1, 2);
  bits.put(3, 6).put(6, 6).put(9, 6);
  for (int group = 0; group < 12; ++group) bits.put(26, 5);
  Crc16 crc;
  BandOnBits<Layer2IntensityBand> b(bits, kMidBand, &crc);
  EXPECT_EQ(crc.value, bits.crc().value);
  EXPECT_EQ(b.body.bits_read(), 8u + 18u);
  for (uint32_t group = 0; group < 12; ++group) {
    b.read_group(group);
    const float right = group < 8 ? 0.5f : 0.25f;
    EXPECT_EQ(b.value(0, 3 * group + 2), 0.6666667f);
    EXPECT_EQ(b.value(1, 3 * group + 2), 0.6666667f * right);
  }
  EXPECT_EQ(b.body.bits_read(), 26u + 12u * 5u);
}

}  // namespace
}  // namespace mpegin
