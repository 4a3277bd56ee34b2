// Every kind of band with its allocation(s) at 0 reads nothing beyond them and
// yields silence in both channels, however the rest of the body is filled.
#include <gtest/gtest.h>

#include "layer12/band_on_bits.h"
#include "layer12/layer1_band.h"
#include "layer12/layer1_intensity_band.h"
#include "layer12/layer1_stereo_band.h"
#include "layer12/layer2_band.h"
#include "layer12/layer2_intensity_band.h"
#include "layer12/layer2_stereo_band.h"

namespace mpegin {
namespace {

constexpr int kSubband = 4;  // 4-bit allocations in both layers at 192 kbit/s

template <class Band>
void expect_uncoded(uint32_t allocation_bits) {
  test_support::BitWriter bits;
  bits.put(0, allocation_bits);
  for (int i = 0; i < 8; ++i) bits.put(0xFFFF, 16);
  test_support::BandOnBits<Band> b(bits, kSubband);
  EXPECT_EQ(b.body.bits_read(), allocation_bits);
  EXPECT_EQ(b.samples.set_count(), 0u);
  for (uint32_t round = 0; round < 12; ++round) {
    b.read_slot(round);
    b.read_group(round);
  }
  for (uint32_t slot = 0; slot < CodedSamples::kSlots; ++slot) {
    EXPECT_EQ(b.value(0, slot), 0.0f);
    EXPECT_EQ(b.value(1, slot), 0.0f);
  }
  EXPECT_EQ(b.body.bits_read(), allocation_bits);
}

TEST(UncodedBands, ReadOnlyTheirAllocationsAndYieldSilence) {
  expect_uncoded<Layer1Band>(4);
  expect_uncoded<Layer1StereoBand>(8);
  expect_uncoded<Layer1IntensityBand>(4);
  expect_uncoded<Layer2Band>(4);
  expect_uncoded<Layer2StereoBand>(8);
  expect_uncoded<Layer2IntensityBand>(4);
}

}  // namespace
}  // namespace mpegin
