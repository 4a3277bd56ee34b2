// Every kind of band with its allocation(s) at 0 reads nothing beyond them and
// stores nothing, however the rest of the body is filled.
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
  const std::vector<float> silence0 = test_support::expected_response({});
  const std::vector<float> silence1 = test_support::expected_response({}, 1);
  for (int round = 1; round <= 12; ++round) {
    EXPECT_EQ(b.band.parse_samples(b.reader()), round == 12);
    // three emits: a whole Layer II group, one per channel_select
    for (int32_t channel_select : {0, 1, 2}) {
      const test_support::Emitted out = test_support::emit(b.band, channel_select);
      EXPECT_EQ(out.filter0, silence0);
      EXPECT_EQ(out.filter1, silence1);
    }
  }
  EXPECT_EQ(b.body.bits_read(), allocation_bits);
}

TEST(UncodedBands, ReadOnlyTheirAllocationsAndStoreNothing) {
  expect_uncoded<Layer1Band>(4);
  expect_uncoded<Layer1StereoBand>(8);
  expect_uncoded<Layer1IntensityBand>(4);
  expect_uncoded<Layer2Band>(4);
  expect_uncoded<Layer2StereoBand>(8);
  expect_uncoded<Layer2IntensityBand>(4);
}

}  // namespace
}  // namespace mpegin
