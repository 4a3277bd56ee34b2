// Layer I band objects on hand-built bit strings: what each reads, in which order,
// what it feeds to the check word and which subband samples its sample sets yield.
#include <gtest/gtest.h>

#include <cmath>

#include "layer12/band_on_bits.h"
#include "layer12/layer1_band.h"
#include "layer12/layer1_intensity_band.h"
#include "layer12/layer1_stereo_band.h"

namespace mpegin {
namespace {

using test_support::BandOnBits;
using test_support::BitWriter;

constexpr int kSubband = 5;
// Single-precision requantisation is within a few units in the last place of exact.
constexpr double kTolerance = 3e-7;

TEST(Layer1Band, RequantisesTwoBitCodes) {
  // allocation 1 (2-bit codes), scale factor index 3 (1.0), codes 0, 1, 2
  BitWriter bits;
  bits.put(1, 4).put(3, 6).put(0, 2).put(1, 2).put(2, 2);
  BandOnBits<Layer1Band> b(bits, kSubband);
  const float expected[] = {-0.6666667f, 0.0f, 0.6666667f};
  for (uint32_t slot = 0; slot < 3; ++slot) {
    b.read_slot(slot);
    EXPECT_EQ(b.value(0, slot), expected[slot]) << slot;
    EXPECT_FALSE(std::signbit(b.value(0, slot)) && expected[slot] == 0.0f);
  }
  EXPECT_EQ(b.body.bits_read(), 4u + 6u + 3u * 2u);
}

TEST(Layer1Band, MatchesTheRequantisationFormulaForEveryWidth) {
  // scale factor index 6 (0.5); the lowest, middle and highest allowed code of each width
  for (uint32_t allocation = 1; allocation <= 14; ++allocation) {
    const uint32_t nb = allocation + 1;
    const uint32_t top = (1u << nb) - 1;
    const uint32_t codes[] = {0, top / 2, top - 1};
    BitWriter bits;
    bits.put(allocation, 4).put(6, 6);
    for (uint32_t code : codes) bits.put(code, nb);
    BandOnBits<Layer1Band> b(bits, kSubband);
    for (uint32_t slot = 0; slot < 3; ++slot) {
      b.read_slot(slot);
      const uint32_t code = codes[slot];
      const double exact = 0.5 * (2.0 * code + 2.0 - std::ldexp(1.0, nb)) / (std::ldexp(1.0, nb) - 1.0);
      EXPECT_NEAR(b.value(0, slot), exact, kTolerance) << "allocation " << allocation << " code " << code;
    }
    EXPECT_EQ(b.body.bits_read(), 4 + 6 + 3 * nb);
  }
}

TEST(Layer1Band, UncodedBandReadsOnlyItsAllocationAndStoresSilence) {
  BitWriter bits;
  bits.put(0, 4).put(0xFFFF, 16);
  BandOnBits<Layer1Band> b(bits, kSubband);
  EXPECT_EQ(b.samples.set_count(), 0u);
  for (uint32_t slot = 0; slot < 12; ++slot) {
    b.read_slot(slot);
    EXPECT_EQ(b.value(0, slot), 0.0f);
  }
  EXPECT_EQ(b.body.bits_read(), 4u);
}

TEST(Layer1Band, ForbiddenAllocationAndScaleFactorGiveSilence) {
  {  // allocation 15 reads 16-bit codes and stores 0.0
    BitWriter bits;
    bits.put(15, 4).put(0, 6).put(0xABCD, 16).put(0x1234, 16);
    BandOnBits<Layer1Band> b(bits, kSubband);
    b.read_slot(0);
    EXPECT_EQ(b.value(0, 0), 0.0f);
    b.read_slot(1);
    EXPECT_EQ(b.body.bits_read(), 4u + 6u + 32u);
  }
  {  // scale factor index 63 stores 0.0
    BitWriter bits;
    bits.put(3, 4).put(63, 6).put(15, 4);
    BandOnBits<Layer1Band> b(bits, kSubband);
    b.read_slot(0);
    EXPECT_EQ(b.value(0, 0), 0.0f);
  }
}

TEST(Layer1Band, FeedsItsAllocationToTheCheckWord) {
  BitWriter bits;
  bits.put_checked(9, 4).put(0, 6);
  Crc16 crc;
  BandOnBits<Layer1Band> b(bits, kSubband, &crc);
  EXPECT_EQ(crc.value, bits.crc().value);
  EXPECT_NE(crc.value, 0xFFFFu);
}

// Channel 0: allocation 2 (3-bit codes), scale factor 1.0, code 6 -> 6/7.
// Channel 1: allocation 1 (2-bit codes), scale factor 0.5, code 0 -> -2/3 x 0.5.
TEST(Layer1StereoBand, ReadsBothChannelsInStreamOrder) {
  BitWriter bits;
  bits.put_checked(2, 4).put_checked(1, 4);  // allocations
  bits.put(3, 6).put(6, 6);                  // scale factors
  bits.put(6, 3).put(0, 2);                  // first samples
  bits.put(1, 3).put(3, 2);                  // second samples
  Crc16 crc;
  BandOnBits<Layer1StereoBand> b(bits, kSubband, &crc);
  EXPECT_EQ(crc.value, bits.crc().value);
  b.read_slot(0);
  EXPECT_NEAR(b.value(0, 0), 6.0 / 7.0, kTolerance);
  EXPECT_NEAR(b.value(1, 0), -1.0 / 3.0, kTolerance);
  b.read_slot(1);
  EXPECT_NEAR(b.value(0, 1), -4.0 / 7.0, kTolerance);
  EXPECT_NEAR(b.value(1, 1), 2.0 / 3.0, kTolerance);  // the all-ones code 3: 4/3 x 0.5
  EXPECT_EQ(b.body.bits_read(), 8u + 12u + 2u * 5u);
}

TEST(Layer1StereoBand, SecondChannelAloneLeavesTheFirstSilent) {
  BitWriter bits;
  bits.put(0, 4).put(3, 4);  // a0 = 0, a1 = 3 (4-bit codes)
  bits.put(3, 6);            // only channel 1's scale factor
  for (int i = 0; i < 12; ++i) bits.put(15, 4);
  BandOnBits<Layer1StereoBand> b(bits, kSubband);
  for (uint32_t slot = 0; slot < 12; ++slot) b.read_slot(slot);
  EXPECT_EQ(b.body.bits_read(), 8u + 6u + 12u * 4u);
  for (uint32_t slot = 0; slot < 12; ++slot) {
    EXPECT_EQ(b.value(0, slot), 0.0f);
    // the all-ones code 15 of 4 bits, not allowed in a valid stream: 16/15
    EXPECT_NEAR(b.value(1, slot), 16.0 / 15.0, kTolerance);
  }
}

TEST(Layer1IntensityBand, SharesOneSampleBetweenTwoScaleFactors) {
  // one allocation (2: 3-bit codes), two scale factors (1.0 and 0.25), one sample
  BitWriter bits;
  bits.put_checked(2, 4).put(3, 6).put(9, 6).put(5, 3);
  Crc16 crc;
  BandOnBits<Layer1IntensityBand> b(bits, kSubband, &crc);
  EXPECT_EQ(crc.value, bits.crc().value);
  b.read_slot(0);
  EXPECT_EQ(b.body.bits_read(), 4u + 12u + 3u);
  const float left = b.value(0, 0);
  EXPECT_NEAR(left, 4.0 / 7.0, kTolerance);  // code 5 of 3 bits
  EXPECT_EQ(b.value(1, 0), left * 0.25f);
}

}  // namespace
}  // namespace mpegin
